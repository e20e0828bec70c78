#include "platform/FileKind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorn::platform {
namespace {

const char* kindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return "";
    }
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device node";
    }
    return "a socket";
}

}  // namespace

std::string nonRegularKind(const char* path) {
    struct stat info = {};
    if (path == nullptr || ::lstat(path, &info) != 0) {
        return {};
    }
    return kindOf(info.st_mode);
}

int openRegularForReading(const char* path, std::string* why) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (why != nullptr) {
            *why = std::strerror(errno);
        }
        return -1;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (why != nullptr) {
            *why = std::string(kindOf(info.st_mode)) + ", not a regular file";
        }
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    // Reads of a regular file never block; clearing the flag keeps it plain.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace vorn::platform
