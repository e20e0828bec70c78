#include "results/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/FileKind.h"

namespace vorn {

std::string nonRegularTarget(const std::string& target) {
    const std::string kind = platform::nonRegularKind(target.c_str());
    return kind.empty() ? kind
                        : target + " is " + kind + ", not a regular file; it is left as it is";
}

std::string ReplacementFile::problem() const {
    if (!refusal_.empty()) {
        return refusal_;
    }
    return error_ != 0 ? std::strerror(error_) : "the file could not be written";
}

ReplacementFile::~ReplacementFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!temp_.empty() && !committed_) {
        ::unlink(temp_.c_str());
    }
}

bool ReplacementFile::reserve() {
    refusal_ = nonRegularTarget(target_);
    if (!refusal_.empty()) {
        error_ = 0;
        return false;
    }
    static std::atomic<unsigned> serial{0};
    const size_t slash = target_.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string name =
        target_.substr(slash == std::string::npos ? 0 : slash + 1).substr(0, kMaxReplacementStem);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                                      std::to_string(++serial) + ".tmp";
        // 0666 under the umask, as a plainly created file would be.
        fd_ = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temp_ = candidate;
            struct stat old = {};
            // A replaced file keeps its permissions.
            if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
                (void)::fchmod(fd_, old.st_mode & 07777);
            }
            return true;
        }
        if (errno != EEXIST) {
            return failed();
        }
    }
    return failed();
}

bool ReplacementFile::write(const void* bytes, size_t count) {
    const auto* at = static_cast<const char*>(bytes);
    size_t done = 0;
    while (done < count) {
        const ssize_t written = ::write(fd_, at + done, count - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return failed();
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

bool ReplacementFile::commit(bool sync) {
    // fsync and close both report a write that did not reach the disk.
    if (fd_ < 0 || (sync && ::fsync(fd_) != 0)) {
        return failed();
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 || ::rename(temp_.c_str(), target_.c_str()) != 0) {
        return failed();
    }
    committed_ = true;
    return true;
}

}  // namespace vorn
