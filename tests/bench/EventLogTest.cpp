#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/DiagLog.h"
#include "bench/MemoryEventLog.h"
#include "storage/EventLog.h"
#include "support/ManualCounter.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

constexpr uint64_t kFrequency = 1000000;  // 1 tick = 1 us keeps the columns readable
constexpr uint64_t kBase = 5000000;       // counter value when the log is created

const char* const kPreamble =
    "Performance frequency for this machine is 1000000\n"
    "Event,Device,Success,Start(sec),Duration(ms),Sector,Count,Bps\n";

class EventLogTest : public ::testing::Test {
protected:
    void TearDown() override { closeLog(); }

    std::string path(const char* name) const { return dir_.file(name); }
    // Dumps into a fresh file and answers its text.
    std::string dump(I_VornEventLog& log, const char* header = nullptr,
                     uint32_t bytesPerSector = 512) {
        log.dumpCsv(path("event.log").c_str(), false, header, bytesPerSector);
        return dir_.read("event.log");
    }

    ManualCounter clock_{kFrequency, kBase};
    TempDir dir_;
};

// A healthy log writes nothing to the diagnostic log; a null note is refused.
TEST_F(EventLogTest, RowsOfEveryKindInRecordingOrder) {
    openLog(path("diag.log").c_str());
    auto log = newEventLog(16);
    closeLog();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(dir_.read("diag.log"), "");
    EXPECT_FALSE(log->addNote(nullptr));
    EXPECT_TRUE(log->addNote("START - Read 2K"));
    EXPECT_TRUE(log->addEvent(1, kEventRead, 4, 100, kBase + 250000, kBase + 252000, 0));
    EXPECT_TRUE(
        log->addEvent(1, kEventWrite, 128, 4294967301ull, kBase + 1000000, kBase + 1016384, 0));
    EXPECT_TRUE(log->addEvent(1, kEventFlush, 0, 0, kBase + 1100000, kBase + 1100500, 0));
    EXPECT_TRUE(log->addEvent(1, kEventRead, 1, 7, kBase + 1200000, kBase + 1203000, 1));
    EXPECT_TRUE(log->addEvent(2, kEventWrite, 8, 9, kBase + 1300000, kBase + 1301000, 5));
    EXPECT_TRUE(log->addEvent(1, kEventFlush, 0, 0, kBase + 1400000, kBase + 1400250, 1));
    EXPECT_TRUE(log->addEvent(3, 7, 2, 11, kBase + 1500000, kBase + 1501000, 0));
    EXPECT_TRUE(log->addNote("END - Read 2K"));

    EXPECT_EQ(dump(*log), std::string(kPreamble) +
                              ",,,,,,,START - Read 2K\n"
                              "READ,1,YES,0.250,2.000,100,4,1024000\n"
                              "WRITE,1,YES,1.000,16.384,4294967301,128,4000000\n"
                              "FLUSH,1,YES,1.100,0.500,0,0,0\n"
                              "READ,129,NO,1.200,3.000,7,1,0\n"
                              "WRITE,130,NO,1.300,1.000,9,8,0\n"
                              "FLUSH,129,NO,1.400,0.250,0,0,0\n"
                              "Unknown,3,YES,1.500,1.000,11,2,1024000\n"
                              ",,,,,,,END - Read 2K\n");
}

// Summarized writes: one WIPE row per row's worth of sectors, from the first start to
// the last end, its rate over more than 32 bits of bytes; flushes and failed writes
// keep their own rows, and a dump closes the open row.
TEST_F(EventLogTest, SummarizedWritesBecomeWipeRows) {
    auto log = newEventLog(16);
    ASSERT_NE(log, nullptr);
    log->summarizeWrites(256);
    for (uint64_t i = 0; i < 4; ++i) {  // two rows of two writes
        const uint64_t at = kBase + 1000000 + i * 1000;
        EXPECT_TRUE(log->addEvent(1, kEventWrite, 128, i * 128, at, at + 1000, 0));
    }
    EXPECT_TRUE(log->addEvent(1, kEventFlush, 0, 0, kBase + 1004000, kBase + 1004500, 0));
    EXPECT_TRUE(log->addEvent(1, kEventWrite, 128, 512, kBase + 1005000, kBase + 1006000, 0));
    EXPECT_TRUE(log->addEvent(1, kEventWrite, 128, 640, kBase + 1006000, kBase + 1007000, 1));
    EXPECT_TRUE(log->addEvent(1, kEventRead, 1, 5, kBase + 1007000, kBase + 1007100, 0));
    log->summarizeWrites(UINT32_MAX + 1ull);  // 2 TB rows: 8.4 GB written in 1 s
    EXPECT_TRUE(log->addEvent(1, kEventWrite, 65535, 0, kBase + 2000000, kBase + 2500000, 0));
    for (uint64_t i = 1; i <= 256; ++i) {
        (void)log->addEvent(1, kEventWrite, 65535, i * 65535, kBase + 2500000, kBase + 3000000, 0);
    }
    EXPECT_EQ(dump(*log), std::string(kPreamble) +
                              "WIPE,1,YES,1.000,2.000,0,256,65536000\n"
                              "WIPE,1,YES,1.002,2.000,256,256,65536000\n"
                              "FLUSH,1,YES,1.004,0.500,0,0,0\n"
                              "WIPE,1,YES,1.005,1.000,512,128,65536000\n"
                              "WRITE,129,NO,1.006,1.000,640,128,0\n"
                              "READ,1,YES,1.007,0.100,5,1,5120000\n"
                              "WIPE,1,YES,2.000,1000.000,0,16842495,8623357440\n");
    // After a dump every transfer has its own row again.
    EXPECT_TRUE(log->addEvent(1, kEventWrite, 8, 9, kBase + 10, kBase + 20, 0));
    EXPECT_NE(dump(*log).find("WRITE,1,YES"), std::string::npos);
}

// A wipe that runs off the end of the medium goes on at sector 0: its row ends at the
// end and the next begins at 0, so no row names sectors that were never written.
TEST_F(EventLogTest, WipeRowsEndWhereTheWritesStopBeingContiguous) {
    auto log = newEventLog(16);
    ASSERT_NE(log, nullptr);
    log->summarizeWrites(1024);
    const uint64_t sectors[] = {491392, 491520, 491648, 0, 128};  // the medium ends at 491776
    for (uint64_t i = 0; i < std::size(sectors); ++i) {
        const uint64_t at = kBase + 1000000 + i * 1000;
        EXPECT_TRUE(log->addEvent(1, kEventWrite, 128, sectors[i], at, at + 1000, 0));
    }
    const std::string text = dump(*log);
    EXPECT_NE(text.find("WIPE,1,YES,1.000,3.000,491392,384,"), std::string::npos) << text;
    EXPECT_NE(text.find("WIPE,1,YES,1.003,2.000,0,256,"), std::string::npos) << text;
}

TEST_F(EventLogTest, RateUsesBytesPerSectorAndSurvivesLargeAndInstantTransfers) {
    struct Case {
        uint16_t count;
        uint32_t bytesPerSector;
        uint64_t ticks;
        const char* row;
    };
    const Case cases[] = {
        {1, 512, 1000, "READ,1,YES,0.000,1.000,0,1,512000\n"},
        {16, 4096, 1000, "READ,1,YES,0.000,1.000,0,16,65536000\n"},
        // 33,553,920 bytes: times 1000 would not fit 32 bits.
        {65535, 512, 1000, "READ,1,YES,0.000,1.000,0,65535,33553920000\n"},
        {2, 2048, 4000, "READ,1,YES,0.000,4.000,0,2,1024000\n"},
        // Equal counter readings: 512 bytes in one nanosecond (1e-6 ms).
        {1, 512, 0, "READ,1,YES,0.000,0.000,0,1,512000000000\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        auto log = newEventLog(4);
        ASSERT_NE(log, nullptr);
        log->addEvent(1, kEventRead, c.count, 0, kBase, kBase + c.ticks, 0);
        EXPECT_EQ(dump(*log, nullptr, c.bytesPerSector), std::string(kPreamble) + c.row);
    }
}

TEST_F(EventLogTest, FullLogDropsEntriesAndSaysSoEvenWhenExactlyFull) {
    struct Case {
        uint32_t capacity;
        int extraAttempts;
        bool truncated;
    };
    const Case cases[] = {{3, 0, true}, {3, 2, true}, {4, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "capacity " << c.capacity << " extra " << c.extraAttempts);
        auto log = newEventLog(c.capacity);
        ASSERT_NE(log, nullptr);
        EXPECT_TRUE(log->addEvent(1, kEventRead, 1, 1, kBase, kBase + 1000, 0));
        EXPECT_TRUE(log->addNote("middle"));
        EXPECT_TRUE(log->addEvent(1, kEventRead, 1, 2, kBase, kBase + 1000, 0));
        for (int i = 0; i < c.extraAttempts; ++i) {
            EXPECT_FALSE(log->addEvent(1, kEventRead, 1, 3, kBase, kBase + 1000, 0));
            EXPECT_FALSE(log->addNote("dropped"));
        }
        const std::string rows =
            "READ,1,YES,0.000,1.000,1,1,512000\n"
            ",,,,,,,middle\n"
            "READ,1,YES,0.000,1.000,2,1,512000\n";
        const std::string truncated = c.truncated ? "** Log has been truncated!\n" : "";
        EXPECT_EQ(dump(*log, "Header"), "Header\n" + truncated + kPreamble + rows);
        // The dump empties the log, so it takes entries again.
        EXPECT_TRUE(log->addEvent(1, kEventRead, 1, 4, kBase, kBase + 1000, 0));
    }
}

TEST_F(EventLogTest, MissingFrequencyFallsBackToTheTimerRate) {
    clock_.setFrequency(0);
    auto log = newEventLog(4);
    ASSERT_NE(log, nullptr);
    log->addEvent(1, kEventRead, 1, 0, kBase + 2 * 1193181, kBase + 3 * 1193181, 0);
    EXPECT_EQ(dump(*log),
              "** Error in QueryPerformanceFrequency\n"
              "Performance frequency for this machine is 1193181\n"
              "Event,Device,Success,Start(sec),Duration(ms),Sector,Count,Bps\n"
              "READ,1,YES,2.000,1000.000,0,1,512\n");
}

// Each dump, also one without a file or to a file that does not open, empties the
// log and takes the counter at its end as the next time origin.
TEST_F(EventLogTest, EachDumpRestartsTheTimeOriginAndClears) {
    auto log = newEventLog(4);
    ASSERT_NE(log, nullptr);
    log->addEvent(1, kEventRead, 1, 0, kBase + 1000, kBase + 2000, 0);
    log->addNote("first run");
    clock_.set(8000000);
    EXPECT_TRUE(log->dumpCsv(nullptr, false, nullptr, 512));

    log->addEvent(1, kEventRead, 1, 2, 8250000, 8251000, 0);
    clock_.set(9000000);
    EXPECT_EQ(dump(*log), std::string(kPreamble) + "READ,1,YES,0.250,1.000,2,1,512000\n");

    log->addEvent(1, kEventWrite, 1, 5, 9500000, 9501000, 0);
    clock_.set(10000000);
    const std::string bad = path("missing/event.log");
    log->dumpCsv(bad.c_str(), false, "Header", 512);
    EXPECT_FALSE(std::filesystem::exists(bad));

    log->addEvent(1, kEventWrite, 1, 6, 10500000, 10501000, 0);
    EXPECT_EQ(dump(*log), std::string(kPreamble) + "WRITE,1,YES,0.500,1.000,6,1,512000\n");
}

TEST_F(EventLogTest, AppendModeKeepsEarlierDumps) {
    auto log = newEventLog(4);
    ASSERT_NE(log, nullptr);
    const std::string file = path("event.log");
    log->addNote("one");
    log->dumpCsv(file.c_str(), false, "Run 1", 512);
    log->addNote("two");
    log->dumpCsv(file.c_str(), true, "Run 2", 512);
    EXPECT_EQ(readText(file), std::string("Run 1\n") + kPreamble + ",,,,,,,one\n" + "Run 2\n" +
                                  kPreamble + ",,,,,,,two\n");

    log->addNote("three");
    log->dumpCsv(file.c_str(), false, nullptr, 512);
    EXPECT_EQ(readText(file), std::string(kPreamble) + ",,,,,,,three\n");
}

// Caps the address space a little above what the process maps now, so one large
// mapping fails while small allocations still succeed.
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(rlim_t headroom) {
        std::ifstream status("/proc/self/status");
        std::string key;
        rlim_t sizeKb = 0;
        while (status >> key) {
            if (key == "VmSize:") {
                status >> sizeKb;
                break;
            }
        }
        if (sizeKb == 0 || getrlimit(RLIMIT_AS, &saved_) != 0) {
            return;
        }
        const rlimit capped{sizeKb * 1024 + headroom, saved_.rlim_max};
        active_ = capped.rlim_cur < saved_.rlim_cur && setrlimit(RLIMIT_AS, &capped) == 0;
    }
    ~AddressSpaceCap() {
        if (active_) {
            setrlimit(RLIMIT_AS, &saved_);
        }
    }
    bool active() const { return active_; }

private:
    rlimit saved_{};
    bool active_ = false;
};

TEST_F(EventLogTest, FailedAllocationStoresNothing) {
    const std::string diag = path("diag.log");
    openLog(diag.c_str());
    std::unique_ptr<I_VornEventLog> log;
    {
        AddressSpaceCap cap(256u << 20);
        if (!cap.active()) {
            GTEST_SKIP() << "cannot limit the address space here";
        }
        log = newEventLog(64u << 20);  // 2 GB of entries
    }
    closeLog();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(readText(diag), "** Error allocating eventLog " + std::to_string(ENOMEM) + "\n");
    EXPECT_FALSE(log->addEvent(1, kEventRead, 1, 0, kBase, kBase + 1000, 0));
    EXPECT_FALSE(log->addNote("nowhere"));
    EXPECT_EQ(dump(*log), std::string("** Log has been truncated!\n") + kPreamble);
}

// Takes CAP_IPC_LOCK out of this thread's effective set (a root process could lock
// past any limit) and sets the locked-memory limit to 0, so mlock must fail.
class LockDenied {
public:
    LockDenied() {
        if (syscall(SYS_capget, &header_, saved_) != 0 || getrlimit(RLIMIT_MEMLOCK, &limit_)) {
            return;
        }
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[CAP_TO_INDEX(CAP_IPC_LOCK)].effective &= ~CAP_TO_MASK(CAP_IPC_LOCK);
        if (syscall(SYS_capset, &header_, reduced) != 0) {
            return;
        }
        capsChanged_ = true;
        const rlimit none{0, limit_.rlim_max};
        limited_ = setrlimit(RLIMIT_MEMLOCK, &none) == 0;
        // Sanitizer runtimes turn mlock into a no-op: check that it really fails.
        alignas(4096) static char probe[4096];
        active_ = limited_ && mlock(probe, sizeof probe) != 0;
        if (limited_ && !active_) {
            munlock(probe, sizeof probe);
        }
    }
    ~LockDenied() {
        if (limited_) {
            setrlimit(RLIMIT_MEMLOCK, &limit_);
        }
        if (capsChanged_) {
            syscall(SYS_capset, &header_, saved_);
        }
    }
    bool active() const { return active_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    rlimit limit_{};
    bool capsChanged_ = false;
    bool limited_ = false;
    bool active_ = false;
};

TEST_F(EventLogTest, UnlockedLogIsReportedAndStillWorks) {
    const std::string diag = path("diag.log");
    openLog(diag.c_str());
    std::unique_ptr<I_VornEventLog> log;
    {
        LockDenied denied;
        if (!denied.active()) {
            GTEST_SKIP() << "cannot deny memory locking here";
        }
        log = newEventLog(1024);
    }
    closeLog();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(readText(diag), "** Error locking eventLog " + std::to_string(EPERM) + "\n");
    EXPECT_TRUE(log->addEvent(1, kEventRead, 1, 0, kBase, kBase + 1000, 0));
    EXPECT_EQ(dump(*log), std::string(kPreamble) + "READ,1,YES,0.000,1.000,0,1,512000\n");
}

}  // namespace
}  // namespace vorn::test
