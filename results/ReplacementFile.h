#pragma once

#include <cerrno>
#include <cstddef>
#include <string>

namespace vorn {

// Longest part of the target's name that goes into the temporary name.
inline constexpr size_t kMaxReplacementStem = 200;

// Why `target` may not be replaced: it exists and is not a regular file (a device
// node, FIFO, directory, socket or symbolic link), so writing a new file in its place
// would destroy it. Empty when it is a regular file or missing.
std::string nonRegularTarget(const std::string& target);

// A file written beside its target under a temporary name of the same folder and
// renamed over the target only once complete; dropped unless committed. A target
// that is not a regular file is refused by reserve(). On a failure error() holds the
// errno, or 0 when there was none to tell, and problem() says it in words.
class ReplacementFile {
public:
    explicit ReplacementFile(std::string target) : target_(std::move(target)) {}
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    [[nodiscard]] bool reserve();
    [[nodiscard]] bool write(const void* bytes, size_t count);
    [[nodiscard]] bool write(const std::string& bytes) { return write(bytes.data(), bytes.size()); }
    // Renames the file over its target. With `sync` false the bytes are not forced to
    // the disk first: for a writer of many files that syncs the file system once
    // (syncfs) before anything relies on them.
    [[nodiscard]] bool commit(bool sync = true);
    const std::string& tempPath() const { return temp_; }
    int error() const { return error_; }
    std::string problem() const;

private:
    bool failed() {
        error_ = errno;
        return false;
    }

    std::string target_;
    std::string temp_;
    std::string refusal_;
    int fd_ = -1;
    int error_ = 0;
    bool committed_ = false;
};

}  // namespace vorn
