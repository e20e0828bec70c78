#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace vorn::test {

class TempDir;

// The programmable FUSE test medium (tests/medium) over a fresh image file: started
// by the constructor, unmounted and stopped with the object. Where the machine allows
// no FUSE mount, ready() is false and skipReason() says why.
class TestMedium {
public:
    // One request at a time, like a queue of depth one; or as many as the kernel passes
    // at once, served "parallel=K" at a time.
    enum class Requests { OneAtATime, Concurrent };

    explicit TestMedium(uint64_t bytes, Requests requests = Requests::OneAtATime);
    ~TestMedium();
    TestMedium(const TestMedium&) = delete;
    TestMedium& operator=(const TestMedium&) = delete;

    bool ready() const { return ready_; }
    const std::string& skipReason() const { return skipReason_; }

    // The medium as a drive opens it, and the image behind it.
    std::string mediumPath() const;
    std::string imagePath() const;
    // Sends "key=value" lines (see tests/medium/TestMedium.cpp); false when refused.
    bool control(const std::string& lines) const;
    // A count the medium reports: "reads", "writes", "peak", ...
    uint64_t count(const std::string& key) const;

private:
    bool start();
    void stop();

    std::unique_ptr<TempDir> dir_;
    uint64_t bytes_;
    Requests requests_;
    pid_t pid_ = -1;
    bool ready_ = false;
    std::string skipReason_;
};

}  // namespace vorn::test
