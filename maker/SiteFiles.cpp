#include "maker/SiteFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "results/ReplacementFile.h"

namespace vorn {

namespace {

bool isPathChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// Whether the regular file at `path` holds exactly `bytes`; anything else (missing,
// another kind of file, unreadable) counts as different.
bool holdsBytes(const std::string& path, std::string_view bytes) {
    struct stat info = {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<uint64_t>(info.st_size) != bytes.size()) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::string held(bytes.size(), '\0');
    return file.read(held.data(), static_cast<std::streamsize>(held.size())) && held == bytes;
}

}  // namespace

bool isSitePath(const std::string& path) {
    if (path.empty() || path.front() == '/' || path.back() == '/') {
        return false;
    }
    bool partStart = true;
    for (const char c : path) {
        if (c == '/') {
            if (partStart) {
                return false;
            }
            partStart = true;
            continue;
        }
        // No hidden files, no "." or ".." parts.
        if (!isPathChar(c) || (partStart && c == '.')) {
            return false;
        }
        partStart = false;
    }
    return true;
}

bool writeIfChanged(const std::string& path, std::string_view bytes, bool* changed,
                    std::string* why, bool sync) {
    *changed = false;
    if (holdsBytes(path, bytes)) {
        return true;
    }
    ReplacementFile out(path);
    if (!out.reserve() || !out.write(bytes.data(), bytes.size()) || !out.commit(sync)) {
        *why = "cannot write " + path + ": " + out.problem();
        return false;
    }
    *changed = true;
    return true;
}

bool SiteFiles::readManifest(std::string* why) {
    const std::string path = full(kManifestName);
    struct stat info = {};
    if (::lstat(path.c_str(), &info) != 0 && errno == ENOENT) {
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!S_ISREG(info.st_mode) || !file) {
        *why = "cannot read " + path;
        return false;
    }
    for (std::string line; std::getline(file, line);) {
        if (isSitePath(line) && line != kManifestName) {
            previous_.insert(line);
        }
    }
    return true;
}

bool SiteFiles::writeManifest(const std::set<std::string>& paths, std::string* why) {
    std::string text;
    for (const std::string& path : paths) {
        text += path + '\n';
    }
    bool changed = false;
    return writeIfChanged(full(kManifestName), text, &changed, why);
}

bool SiteFiles::begin(const std::set<std::string>& planned, std::string* why) {
    std::error_code error;
    std::filesystem::create_directories(root_, error);
    if (error) {
        *why = "cannot make " + root_ + ": " + error.message();
        return false;
    }
    if (!readManifest(why)) {
        return false;
    }
    std::set<std::string> both = previous_;
    both.insert(planned.begin(), planned.end());
    return writeManifest(both, why);
}

bool SiteFiles::put(const std::string& path, std::string_view bytes, std::string* why) {
    if (!isSitePath(path) || path == kManifestName) {
        *why = path + " is no file name publish may write";
        return false;
    }
    const std::filesystem::path target = full(path);
    std::error_code error;
    std::filesystem::create_directories(target.parent_path(), error);
    if (error) {
        *why = "cannot make " + target.parent_path().string() + ": " + error.message();
        return false;
    }
    bool changed = false;
    if (!writeIfChanged(target.string(), bytes, &changed, why, false)) {
        return false;
    }
    put_.insert(path);
    ++(changed ? counts_.written : counts_.unchanged);
    return true;
}

bool SiteFiles::sync(std::string* why) {
    const int folder = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = folder >= 0 && ::syncfs(folder) == 0;
    const int error = errno;
    if (folder >= 0) {
        ::close(folder);
    }
    if (!synced) {
        *why = "cannot sync " + root_ + ": " + std::strerror(error);
    }
    return synced;
}

bool SiteFiles::finish(std::string* why) {
    for (const std::string& path : previous_) {
        if (put_.count(path) != 0) {
            continue;
        }
        const std::string target = full(path);
        struct stat info = {};
        // Only a regular file publish wrote; a link or folder put there since stays.
        if (::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        if (::unlink(target.c_str()) != 0) {
            *why = "cannot remove " + target + ": " + std::strerror(errno);
            return false;
        }
        ++counts_.removed;
    }
    return writeManifest(put_, why);
}

}  // namespace vorn
