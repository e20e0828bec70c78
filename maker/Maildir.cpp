#include "maker/Maildir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace vorn {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

std::string failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool isRegular(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool makeFolder(const std::string& path, std::string* why) {
    if (::mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    struct stat info {};
    if (errno == EEXIST && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        return true;
    }
    *why = failure("cannot make " + path);
    return false;
}

bool moveMessage(const std::string& from, const std::string& to, std::string* why) {
    if (::rename(from.c_str(), to.c_str()) != 0) {
        *why = failure("cannot move " + from + " to " + to);
        return false;
    }
    return true;
}

}  // namespace

bool listNewMessages(const std::string& maildir, std::vector<std::string>* names,
                     std::string* why) {
    const std::string folder = maildir + "/new";
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) {
        *why = failure("cannot list " + folder);
        return false;
    }
    names->clear();
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.front() != '.' && isRegular(folder + "/" + name)) {
            names->push_back(name);
        }
        errno = 0;
    }
    if (errno != 0) {
        *why = failure("cannot list " + folder);
        return false;
    }
    std::sort(names->begin(), names->end());
    return true;
}

bool readBounded(const std::string& path, size_t limit, std::string* bytes, std::string* why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *why = failure("cannot read " + path);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    bytes->clear();
    char chunk[1 << 16];
    while (bytes->size() <= limit) {
        const size_t wanted = std::min(sizeof chunk, limit + 1 - bytes->size());
        const ssize_t got = ::read(fd, chunk, wanted);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            *why = failure("cannot read " + path);
            ::close(fd);
            return false;
        }
        if (got == 0) {
            break;
        }
        bytes->append(chunk, static_cast<size_t>(got));
    }
    ::close(fd);
    return true;
}

std::string seenName(const std::string& name) {
    return name.substr(0, name.find(':')) + ":2,S";
}

// Postfix delivers into new/ and tmp/ only; cur/ is made by the first reader that needs it.
bool markSeen(const std::string& maildir, const std::string& name, std::string* why) {
    return makeFolder(maildir + "/cur", why) &&
           moveMessage(maildir + "/new/" + name, maildir + "/cur/" + seenName(name), why);
}

bool moveToRejected(const std::string& maildir, const std::string& name, std::string* why) {
    const std::string folder = maildir + "/.Rejected";
    for (const std::string& path : {folder, folder + "/tmp", folder + "/new", folder + "/cur"}) {
        if (!makeFolder(path, why)) {
            return false;
        }
    }
    return moveMessage(maildir + "/new/" + name, folder + "/cur/" + seenName(name), why);
}

}  // namespace vorn
