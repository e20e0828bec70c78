#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vorn {

// Looks at a complete download before it is kept: the file's path and the type the
// server named. Answers why it is refused, or nothing when the file is what it claims
// to be.
using DownloadCheck =
    std::function<std::string(const std::string& path, const std::string& contentType)>;

// Bounds of one download, so no server can fill the disk or hold the program.
struct HttpGetSettings {
    // Slower than lowSpeedBytes per second for stallSeconds in a row: given up (a
    // stalled or dripping server).
    long stallSeconds = 60;
    long lowSpeedBytes = 1024;
    // The whole transfer, connection included, ends after this long.
    long totalSeconds = 3600;
    // A file of more bytes is refused and dropped; 0 means no limit.
    uint64_t maxBytes = 0;
    // Non-zero stops the transfer at its next piece (a cancelling signal's number).
    const std::atomic<int>* cancel = nullptr;
    // Redirections followed at most, each to the same scheme or from http to https.
    long maxRedirects = 3;
    // A refused file is dropped; none given, every complete file is kept.
    DownloadCheck check;
    // Told the bytes received and the size the server announced (0 when unknown) as
    // the transfer goes, on the thread that fetches; none given, nobody is told.
    std::function<void(uint64_t received, uint64_t expected)> progress;
};

// One HTTP download into a local file on the calling thread: a window's worker or the
// terminal's own thread waits in the transfer, which ends at a cancel or a bound.
class I_VornHttpGet {
public:
    virtual ~I_VornHttpGet() = default;
    // Fetches `url` into `fileName` and answers when the transfer is over: true when
    // the whole file arrived and was kept.
    virtual bool fetch(const std::string& url, const std::string& fileName) = 0;
    // Why the last fetch failed, in a few words.
    virtual std::string failure() { return {}; }
};

class VornHttpGet : public I_VornHttpGet {
public:
    explicit VornHttpGet(const HttpGetSettings& settings = {}) : settings_(settings) {}
    VornHttpGet(const VornHttpGet&) = delete;
    VornHttpGet& operator=(const VornHttpGet&) = delete;

    bool fetch(const std::string& url, const std::string& fileName) override;
    std::string failure() override { return failure_; }

    const std::string& url() const { return url_; }
    const std::string& fileName() const { return fileName_; }
    const HttpGetSettings& settings() const { return settings_; }

    // The transfer's side of the progress and the failure.
    void noteProgress(uint64_t received, uint64_t expected);
    void noteFailure(const std::string& why) {
        if (failure_.empty()) {
            failure_ = why;
        }
    }

private:
    std::string url_;
    std::string fileName_;
    HttpGetSettings settings_;
    // The progress last told, and when: the notice is told of a change at most every
    // few milliseconds, not once for every piece that arrives.
    uint64_t toldReceived_ = 0;
    uint64_t toldExpected_ = 0;
    std::chrono::steady_clock::time_point toldAt_{};
    std::string failure_;
};

// A download object, or nullptr when the HTTP library cannot be set up.
std::unique_ptr<I_VornHttpGet> newVornHttpGet(const HttpGetSettings& settings = {});

// The transfer itself: GET the URL into a file beside the target, renamed over it
// once complete and checked. An error status (404, 500, ...), a connection failure, a
// stall, a file over the size limit, the time limit, a cancel, a body sent with a
// Content-Encoding (only identity is asked for) and a refusal of the check all fail,
// and a failed download leaves no file behind.
bool doGet(VornHttpGet& get);

}  // namespace vorn
