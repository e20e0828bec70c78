// Device faults through the real kernel path: a live drive opened on the FUSE test
// medium (O_DIRECT on a FUSE file), faults set per test at every phase of a run.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <vector>

#include "RunFixture.h"
#include "storage/EventLog.h"
#include "storage/LinuxDrive.h"
#include "support/RecordingRunView.h"
#include "support/ScriptedDialogs.h"
#include "support/TestMedium.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;
const DialogBox kRunFailed{DialogBox::Warning, "Error during test or test cancelled by user."};

std::vector<uint8_t> imageBytes(const std::string& path, uint64_t offset, size_t count) {
    std::vector<uint8_t> bytes(count);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    return bytes;
}

TEST(TestMedium, ServesTransfersAndFaultsThroughTheKernel) {
    TestMedium medium(4 * kMiB);
    if (!medium.ready()) {
        GTEST_SKIP() << medium.skipReason();
    }
    auto disk = newLinuxDriveForPath(medium.mediumPath(), nullptr, 65536);
    ASSERT_NE(disk, nullptr);
    ASSERT_EQ(disk->mediaSectors(), 8192u);
    ASSERT_TRUE(disk->enableWrite(1, 512, 0));
    const std::vector<uint8_t> pattern(4096, 0xA5);
    ASSERT_TRUE(disk->write(100, 8, pattern.data()));
    ASSERT_TRUE(disk->flush());
    EXPECT_EQ(imageBytes(medium.imagePath(), 100 * 512, 4096), pattern);
    std::vector<uint8_t> back(4096);
    ASSERT_TRUE(disk->read(100, 8, back.data()));
    EXPECT_EQ(back, pattern);
    EXPECT_EQ(medium.count("writes"), 1u);  // every request reaches the medium
    EXPECT_EQ(medium.count("reads"), 1u);

    ASSERT_TRUE(medium.control("fail_read=200-300\n"));
    EXPECT_FALSE(disk->read(296, 8, nullptr));  // touches 300
    EXPECT_TRUE(disk->read(301, 8, nullptr));
    ASSERT_TRUE(medium.control("reset=1\nfail_write_after=2\n"));
    EXPECT_TRUE(disk->write(0, 1, nullptr));
    EXPECT_TRUE(disk->write(1, 1, nullptr));
    EXPECT_FALSE(disk->write(2, 1, nullptr));
    EXPECT_TRUE(disk->read(0, 1, nullptr));
    ASSERT_TRUE(medium.control("reset=1\npull=1\n"));
    EXPECT_FALSE(disk->read(0, 1, nullptr));
    EXPECT_FALSE(disk->flush());
    EXPECT_FALSE(medium.control("latency_us=fast\n"));

    // A service time is a floor: ten requests of 5 ms cannot take less than 50 ms.
    ASSERT_TRUE(medium.control("reset=1\nlatency_us=5000\n"));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(disk->read(static_cast<uint64_t>(i) * 8, 8, nullptr));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

// Each fault fails its own phase: the run ends with the warning, the failed transfer
// is in "event.log", and no later phase runs.
TEST(DeviceFaults, EachPhaseOfARunEndsInItsFailure) {
    constexpr uint64_t kSectors = 32768;  // 16 MiB
    const struct {
        const char* phase;
        const char* control;
        const char* failedStep;  // the step the fault ends
        const char* neverStep;   // the step after it, which never starts
        bool wiped;              // the wipe ran to its end
    } cases[] = {
        {"flash check", "fail_read=0-10\n", "Flash test:read", "WIPE FLASH DEVICE", false},
        {"wipe", "fail_write=20000-20000\n", "WIPE FLASH DEVICE", "Read Test (2k block)", false},
        // The flash check reads the first 1 MiB only; the 2k read test reads 4 MiB.
        {"read test", "fail_read=3000-3000\n", "Read Test (2k block)", "Read Test (4k block)",
         true},
        // The wipe takes 295 writes of 64 KiB; the next one is in the 2k write test.
        {"write test", "fail_write_after=400\n", "Write Test (2k block)", "Write Test (4k block)",
         true},
        // Only the wipe and the access tests reach the middle of the medium; the
        // markers read there fail harmlessly (they are looked for, not needed).
        {"access test", "fail_read=9000-24000\n", "Random Access", "Sequential Access", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.phase);
        InTempFolder here;
        TestMedium medium(kSectors * 512);
        if (!medium.ready()) {
            GTEST_SKIP() << medium.skipReason();
        }
        ASSERT_TRUE(medium.control(c.control));
        const std::string path = medium.mediumPath();
        auto sample = newLinuxDriveForPath(path, nullptr, 65536);
        ASSERT_NE(sample, nullptr);
        RunJobRequest request;
        request.entries = {{listEntryText(*sample), 0}};
        request.selected = 0;
        request.writeTest = true;
        request.opener = [&path](int, I_VornEventLog* log, uint32_t size) {
            return std::unique_ptr<I_VornDevice>(newLinuxDriveForPath(path, log, size));
        };
        sample.reset();
        RecordingRunView view;
        ScriptedDialogs dialogs({}, true);
        EXPECT_EQ(runTestJob(request, view, dialogs).outcome, RunOutcome::Failed);
        EXPECT_EQ(dialogs.boxes.back(), kRunFailed);
        const std::string events = here.read("event.log");
        EXPECT_NE(events.find(",NO,"), std::string::npos);
        const std::string start = ",,,,,,,START -\n,,,,,,,";
        EXPECT_NE(events.find(start + c.failedStep + "\n"), std::string::npos);
        EXPECT_EQ(events.find(start + c.neverStep + "\n"), std::string::npos);
        EXPECT_EQ(medium.count("writes") >= 295, c.wiped);
        EXPECT_FALSE(here.has("temp.qkt"));
    }
}

}  // namespace
}  // namespace vorn::test
