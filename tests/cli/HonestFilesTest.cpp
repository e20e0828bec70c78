// Files that are not what they seem: FIFOs, links, folders and device nodes as inputs
// and outputs, and a full file system. Nothing blocks, nothing is replaced, and a
// write that fails is an error.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliProcess.h"
#include "cli/CliRun.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

// A result file made by the program itself: a short read run on an image file.
void makeResult(const TempDir& dir) {
    std::ofstream(dir.file("key.img"), std::ios::binary).seekp(16 * 1024 * 1024 - 1).put('\0');
    ASSERT_EQ(runCli(dir.path().string(), "run --device key.img").exitCode, 0);
}

// Runs the cli in `dir` and waits for it; -1 when it hung (and was killed).
int runChild(const TempDir& dir, const std::vector<std::string>& arguments, std::string* err) {
    CliProcess cli(dir.path().string(), arguments);
    const int code = cli.finish();
    *err = cli.err();
    return code;
}

TEST(HonestFiles, FifoInputsAreRefusedAtOnce) {
    TempDir dir;
    makeResult(dir);
    ASSERT_EQ(mkfifo(dir.file("pipe.qkt").c_str(), 0600), 0);
    const std::vector<std::vector<std::string>> commands = {
        {"dump", "pipe.qkt"},
        {"dump", "pipe.qkt", "--json"},
        {"show", "pipe.qkt"},
        {"report", "pipe.qkt"},
        {"library", "out.qkl", "pipe.qkt"},
        {"upload", "pipe.qkt", "--mail-server", "127.0.0.1:1"},
        {"timeline", "pipe.qkt", "--out", "t.svg"},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(command[0]);
        std::string err;
        EXPECT_EQ(runChild(dir, command, &err), 1) << err;
        const std::string said =
            command[0] == "dump" && command.size() == 3 ? readText(dir.file("out.txt")) : err;
        EXPECT_NE(said.find("not a regular file"), std::string::npos) << said;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.qkl")));
}

TEST(HonestFiles, OutputsThatAreNoRegularFileAreLeftAlone) {
    TempDir dir;
    makeResult(dir);
    dir.write("kept.txt", "kept");
    ASSERT_EQ(mkfifo(dir.file("fifo.qkl").c_str(), 0600), 0);
    std::filesystem::create_symlink("kept.txt", dir.file("link.qkl"));
    std::filesystem::create_directory(dir.file("folder.qkl"));
    std::vector<std::pair<std::string, std::string>> targets = {
        {"fifo.qkl", "a FIFO"}, {"link.qkl", "a symbolic link"}, {"folder.qkl", "a directory"}};
    // A node like the null device, made here: as root where the machine allows it.
    const bool node = mknod(dir.file("null.qkl").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    if (node) {
        targets.push_back({"null.qkl", "a device node"});
    }
    for (const auto& [target, kind] : targets) {
        SCOPED_TRACE(target);
        std::string err;
        EXPECT_EQ(runChild(dir, {"library", target, "temp.qkt"}, &err), 1) << err;
        EXPECT_NE(err.find(target + " is " + kind + ", not a regular file"), std::string::npos)
            << err;
    }
    struct stat info = {};
    EXPECT_TRUE(lstat(dir.file("fifo.qkl").c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.qkl")));
    EXPECT_EQ(dir.read("kept.txt"), "kept");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder.qkl")));
    EXPECT_TRUE(!node ||
                (lstat(dir.file("null.qkl").c_str(), &info) == 0 && S_ISCHR(info.st_mode)));

    // The run's own files: a FIFO as event.log or temp.qkt blocks nothing and fails.
    for (const char* name : {"event.log", "temp.qkt"}) {
        SCOPED_TRACE(name);
        TempDir run;
        std::filesystem::copy_file(dir.file("key.img"), run.file("key.img"));
        ASSERT_EQ(mkfifo(run.file(name).c_str(), 0600), 0);
        std::string err;
        EXPECT_EQ(runChild(run, {"run", "--device", "key.img"}, &err), 1) << err;
        EXPECT_TRUE(lstat(run.file(name).c_str(), &info) == 0 && S_ISFIFO(info.st_mode));
    }
    if (!node) {
        GTEST_SKIP() << "no device node could be made here (mknod refused)";
    }
}

// Standard output on a device that is always full: the command fails.
TEST(HonestFiles, LostStandardOutputIsAnError) {
    TempDir dir;
    makeResult(dir);
    for (const char* command :
         {"dump temp.qkt", "dump temp.qkt --json", "show temp.qkt", "report temp.qkt"}) {
        SCOPED_TRACE(command);
        const std::string line = "cd '" + dir.path().string() + "' && '" + VORN_CLI_PATH + "' " +
                                 command + " </dev/null >/dev/full 2>err.txt";
        const int status = std::system(line.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
        EXPECT_NE(dir.read("err.txt").find("could not be written"), std::string::npos);
    }
}

// A working folder on a full file system: the run and the library fail, and the
// library and result that were there before stay as they were.
TEST(HonestFiles, FullFileSystemFailsTheCommand) {
    TempDir dir;
    makeResult(dir);
    TempDir full;
    if (geteuid() != 0 ||
        mount("tmpfs", full.path().c_str(), "tmpfs", 0, "size=256k,nr_inodes=64") != 0) {
        GTEST_SKIP() << "no small tmpfs can be mounted here (needs root and mount rights)";
    }
    full.write("old.qkl", "old library");
    full.write("temp.qkt", "the last result");
    {
        std::ofstream filler(full.file("filler"), std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    // Its messages may be lost too (stderr goes to the same folder): the exit code counts.
    std::string err;
    EXPECT_EQ(runChild(full, {"library", "old.qkl", dir.file("temp.qkt")}, &err), 1);
    EXPECT_EQ(full.read("old.qkl"), "old library");
    EXPECT_NE(runChild(full, {"run", "--device", dir.file("key.img")}, &err), 0);
    EXPECT_EQ(full.read("temp.qkt"), "the last result");
    EXPECT_FALSE(std::filesystem::exists(full.file("temp.qkt.part")));
    umount2(full.path().c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace vorn::test
