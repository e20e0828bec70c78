#include "support/TestMedium.h"

#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

// Built without libfuse3 there is no medium to start.
#ifndef VORN_TEST_MEDIUM_PATH
#define VORN_TEST_MEDIUM_PATH ""
#endif

namespace vorn::test {
namespace {

constexpr auto kStartWait = std::chrono::seconds(5);

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

TestMedium::TestMedium(uint64_t bytes, Requests requests)
    : dir_(std::make_unique<TempDir>()), bytes_(bytes), requests_(requests) {
    ready_ = start();
}

TestMedium::~TestMedium() {
    stop();
}

std::string TestMedium::mediumPath() const {
    return dir_->file("mount/medium");
}

std::string TestMedium::imagePath() const {
    return dir_->file("medium.img");
}

bool TestMedium::start() {
    const std::string program = VORN_TEST_MEDIUM_PATH;
    if (program.empty()) {
        skipReason_ = "built without libfuse3: no test medium";
        return false;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        skipReason_ = "/dev/fuse is not usable here";
        return false;
    }
    const std::string mount = dir_->file("mount");
    std::filesystem::create_directory(mount);
    std::ofstream(imagePath()).close();
    std::filesystem::resize_file(imagePath(), bytes_);
    std::string image = imagePath();
    std::vector<char*> args{const_cast<char*>(program.c_str()), const_cast<char*>("--image"),
                            image.data(), const_cast<char*>(mount.c_str()), const_cast<char*>("-f"),
                            // A claimed size set through "control" shows at the next stat.
                            const_cast<char*>("-o"), const_cast<char*>("attr_timeout=0")};
    if (requests_ == Requests::OneAtATime) {
        args.push_back(const_cast<char*>("-s"));
    }
    args.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        pid_ = -1;
        skipReason_ = "the test medium does not start";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartWait;
    while (!exists(mediumPath())) {
        if (std::chrono::steady_clock::now() > deadline ||
            waitpid(pid_, nullptr, WNOHANG) == pid_) {
            skipReason_ = "no FUSE mount could be made here";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Unmounting ends the FUSE loop; a medium that does not end is killed, and a mount
// left behind is detached so the folder can go.
void TestMedium::stop() {
    const std::string mount = dir_->file("mount");
    if (ready_ && umount2(mount.c_str(), 0) != 0) {
        (void)std::system(("fusermount3 -u '" + mount + "' >/dev/null 2>&1").c_str());
    }
    if (pid_ > 0) {
        for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (::kill(pid_, SIGKILL) == 0) {
            waitpid(pid_, nullptr, 0);
        }
    }
    umount2(mount.c_str(), MNT_DETACH);
}

bool TestMedium::control(const std::string& lines) const {
    std::ofstream out(dir_->file("mount/control"), std::ios::binary);
    out << lines << std::flush;
    return static_cast<bool>(out);
}

uint64_t TestMedium::count(const std::string& key) const {
    std::ifstream in(dir_->file("mount/control"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + "=", 0) == 0) {
            return std::stoull(line.substr(key.size() + 1));
        }
    }
    return 0;
}

}  // namespace vorn::test
