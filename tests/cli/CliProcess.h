#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace vorn::test {

// The built qkvorn-cli running as a child in `folder` (standard input closed, its
// output kept in out.txt and err.txt there), so a test can signal it mid-way. A child
// still running when the object goes is killed.
class CliProcess {
public:
    CliProcess(const std::string& folder, std::vector<std::string> arguments) : folder_(folder) {
        arguments.insert(arguments.begin(), VORN_CLI_PATH);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addchdir_np(&files, folder.c_str());
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, "out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&files, 2, "err.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&files);
    }
    ~CliProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool started() const { return pid_ > 0; }
    std::string out() const { return readText(folder_ + "/out.txt"); }
    std::string err() const { return readText(folder_ + "/err.txt"); }

    // Waits until `ready()` holds while the child runs; false when the child ended
    // first or the (generous) limit passed, which only catches a hang.
    bool waitUntil(const std::function<bool()>& ready) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!ready()) {
            if (exited() || std::chrono::steady_clock::now() > limit) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    bool waitForErr(const std::string& text) {
        return waitUntil([&] { return err().find(text) != std::string::npos; });
    }

    void signal(int number) const { kill(pid_, number); }

    // The exit code once the child ended; -1 when it was killed by a signal or did
    // not end within the limit (then it is killed).
    int finish() {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (!exited() && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!exited()) {
            return -1;
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

private:
    bool exited() {
        if (pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) {
            pid_ = -1;
            ended_ = true;
        }
        return ended_;
    }

    std::string folder_;
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

}  // namespace vorn::test
