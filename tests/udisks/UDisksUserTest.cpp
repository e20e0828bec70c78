// Run by tests/udisks/run.sh as a plain user against real dbus-daemon, polkitd,
// systemd-udevd and udisksd, once with a polkit rule that lets this user at udisks2
// and once without. The loop devices and the mounted ext4 are made by run.sh.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/RunJob.h"
#include "storage/EventLog.h"
#include "storage/LinuxDrive.h"
#include "support/RecordingRunView.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

constexpr uint32_t kBuffer = 524288;

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool ruleAllows() {
    return env("VORN_UDISKS_RULE") == "allow";
}

// A loop device is not removable, so the run's removable-only check would stop it
// before anything else; this drive answers removable and keeps every other check
// (the write permission asks this answer too) and every transfer real.
class RemovableLoop : public LinuxDrive {
public:
    explicit RemovableLoop(I_VornEventLog* log) : LinuxDrive(systemCatalog(), log) {}
    bool deviceRemovable() override { return true; }
};

std::unique_ptr<LinuxDrive> openRemovable(const std::string& node, I_VornEventLog* log,
                                          uint32_t size) {
    auto disk = std::make_unique<RemovableLoop>(log);
    if (!disk->openPath(node, size)) {
        return nullptr;
    }
    return disk;
}

struct Output {
    int status = -1;
    std::string text;
};

Output runCommand(const std::string& command) {
    Output out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        out.text.append(chunk, n);
    }
    const int status = pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::vector<std::string> descriptorLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.find("udisks2 descriptor of") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::string checksum(const std::string& path) {
    return runCommand("sha256sum < " + path).text;
}

std::string firstMiBChecksum(const std::string& path) {
    return runCommand("head -c 1048576 " + path + " | sha256sum").text;
}

bool mounted(const std::string& point) {
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, dev, root, mountPoint;
        if (fields >> id >> parent >> dev >> root >> mountPoint && mountPoint == point) {
            return true;
        }
    }
    return false;
}

class UDisksUser : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() == 0) {
            GTEST_SKIP() << "runs as a plain user (tests/udisks/run.sh starts it)";
        }
        if (loop.empty() || cli.empty()) {
            GTEST_SKIP() << "no loop device given (tests/udisks/run.sh sets them up)";
        }
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
    }
    void TearDown() override {
        if (!previous.empty()) {
            std::filesystem::current_path(previous);
        }
    }

    const std::string loop = env("VORN_LOOP");
    const std::string image = env("VORN_LOOP_IMAGE");
    const std::string ext4Loop = env("VORN_EXT4_LOOP");
    const std::string ext4Mount = env("VORN_EXT4_MOUNT");
    const std::string cli = env("VORN_CLI");
    const std::string gui = env("VORN_GUI");
    TempDir folder;
    std::filesystem::path previous;
};

TEST_F(UDisksUser, CliBenchAndAccessOpenTheLoopThroughUDisks) {
    const Output bench = runCommand(cli + " bench --device " + loop +
                                    " --read --block 65536 --zones 2 --timed 1048576 --json");
    const Output access = runCommand(cli + " access --device " + loop + " --count 64 --json");
    // The queued test uses the same descriptor udisks2 handed over.
    const Output queued = runCommand(cli + " bench --device " + loop +
                                     " --read --random --queue 8 --seconds 1 --json");
    if (!ruleAllows()) {
        const std::string refusal =
            "not authorized to open " + loop + " for reading (polkit refused)";
        for (const Output& out : {bench, access, queued}) {
            EXPECT_NE(out.status, 0) << out.text;
            EXPECT_NE(out.text.find(refusal), std::string::npos) << out.text;
        }
        return;
    }
    EXPECT_EQ(bench.status, 0) << bench.text;
    EXPECT_NE(bench.text.find("\"zone_rate\""), std::string::npos) << bench.text;
    EXPECT_EQ(access.status, 0) << access.text;
    EXPECT_EQ(queued.status, 0) << queued.text;
    EXPECT_NE(queued.text.find("\"queue_depth\": 8"), std::string::npos) << queued.text;
    EXPECT_EQ(queued.text.find("\"completions\": 0,"), std::string::npos) << queued.text;
    // The descriptor's flags are logged once per process.
    const std::string log = folder.read("vorntest.log");
    EXPECT_NE(log.find("udisks2 descriptor of " + loop), std::string::npos) << log;
}

TEST_F(UDisksUser, AWriteTestNeedsTheRuleAndWritesNothingWithout) {
    const std::string before = firstMiBChecksum(image);
    ASSERT_FALSE(before.empty());
    const Output write = runCommand(cli + " bench --device " + loop +
                                    " --write --yes --block 65536 --zones 2 --timed 1048576");
    if (ruleAllows()) {
        // An empty fixed disk passes the write permission (its layout read through the
        // udisks2 descriptor) and is written through a second, exclusive one.
        EXPECT_EQ(write.status, 0) << write.text;
        // What the descriptors carry, for reading and for writing: O_DIRECT as asked,
        // and no O_SYNC, which would time every write differently from a root run.
        const std::vector<std::string> flags = descriptorLines(folder.read("vorntest.log"));
        ASSERT_EQ(flags.size(), 2u);
        for (const std::string& line : flags) {
            std::printf("%s\n", line.c_str());
            EXPECT_NE(line.find("|O_DIRECT"), std::string::npos) << line;
            EXPECT_EQ(line.find("O_SYNC"), std::string::npos) << line;
        }
        EXPECT_NE(flags[0].find("O_RDONLY"), std::string::npos) << flags[0];
        EXPECT_NE(flags[1].find("O_RDWR"), std::string::npos) << flags[1];
        return;
    }
    EXPECT_NE(write.status, 0) << write.text;
    EXPECT_NE(write.text.find("not authorized to open " + loop), std::string::npos) << write.text;
    EXPECT_EQ(firstMiBChecksum(image), before);
}

// The Run Test button's whole run, write test included, on descriptors from udisks2.
TEST_F(UDisksUser, AWholeRunWithTheWriteTestGoesThroughUDisks) {
    const std::string before = firstMiBChecksum(image);
    const std::string imageBefore = checksum(image);
    auto sample = openRemovable(loop, nullptr, 65536);
    ASSERT_NE(sample, nullptr) << "listing must open without authorization";
    RunJobRequest request;
    request.entries = {{listEntryText(*sample), 0}};
    request.selected = 0;
    request.writeTest = true;
    request.opener = [this](int, I_VornEventLog* log, uint32_t size) {
        return std::unique_ptr<I_VornDevice>(openRemovable(loop, log, size));
    };
    sample.reset();
    ScriptedDialogs dialogs({}, true);
    RecordingRunView view;
    const RunResult result = runTestJob(request, view, dialogs);
    const RunOutcome outcome = result.outcome;
    if (!ruleAllows()) {
        EXPECT_EQ(outcome, RunOutcome::Stopped);
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].text, "QK Vorn cannot open this drive: not authorized to open " +
                                             loop + " for reading (polkit refused).");
        EXPECT_EQ(firstMiBChecksum(image), before);
        return;
    }
    EXPECT_EQ(outcome, RunOutcome::Succeeded);
    ASSERT_NE(result.stored, nullptr);
    // The returned run holds every write test's zones, measured through udisks2.
    for (const StoredZones& zones : result.record.writes) {
        ASSERT_TRUE(zones.has_value());
        EXPECT_FALSE(zones->empty());
    }
    EXPECT_TRUE(std::filesystem::exists("temp.qkt"));
    // The write test really wrote the medium. Its first sectors are zeroed again at
    // the end (a blank start looks untouched), its zones keep what it wrote.
    EXPECT_NE(checksum(image), imageBefore);
}

// A mounted file system comes off through udisks2's Unmount before the first write.
TEST_F(UDisksUser, AMountedFileSystemIsUnmountedThroughUDisks) {
    if (ext4Loop.empty() || ext4Mount.empty()) {
        GTEST_SKIP() << "no mounted ext4 loop device given";
    }
    ASSERT_TRUE(mounted(ext4Mount));
    auto disk = openRemovable(ext4Loop, nullptr, kBuffer);
    ASSERT_NE(disk, nullptr);
    std::string why;
    if (!ruleAllows()) {
        EXPECT_FALSE(disk->openForTransfers(why));
        EXPECT_EQ(why, "not authorized to open " + ext4Loop + " for reading (polkit refused)");
        EXPECT_TRUE(mounted(ext4Mount));
        return;
    }
    ASSERT_TRUE(disk->openForTransfers(why)) << why;
    ASSERT_TRUE(disk->enableWrite(1, disk->mediaBlockSize(), 0));
    ASSERT_TRUE(disk->claimForWrite(why)) << why;
    EXPECT_FALSE(mounted(ext4Mount));
    const uint32_t sector = disk->mediaBlockSize();
    std::string pattern(8 * sector, '\0');
    for (size_t i = 0; i < pattern.size(); ++i) {
        pattern[i] = static_cast<char>(i * 7 + 3);
    }
    ASSERT_TRUE(disk->write(16, 8, pattern.data()));
    ASSERT_TRUE(disk->flush());
    std::string back(pattern.size(), '\0');
    ASSERT_TRUE(disk->read(16, 8, back.data()));
    EXPECT_EQ(back, pattern);
}

// The window program as this user: past the start-up check, drives listed, no box.
TEST_F(UDisksUser, TheWindowProgramStartsAndListsDrives) {
    if (gui.empty()) {
        GTEST_SKIP() << "the window program was not built";
    }
    const Output out = runCommand("QT_QPA_PLATFORM=offscreen timeout 8 " + gui);
    // Still running when the time ran out (no crash); the trace shows it got past the
    // start-up check into its event loop, which a refusal box never reaches.
    EXPECT_EQ(out.status, 124) << out.text;
    EXPECT_NE(folder.read("init.log").find("Application->Run()"), std::string::npos);
    EXPECT_NE(folder.read("vorninit.log").find("DEBUG INFO FOR DEVICE 0"), std::string::npos)
        << folder.read("vorninit.log");
}

}  // namespace
}  // namespace vorn::test
