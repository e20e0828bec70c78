#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/DiagLog.h"
#include "bench/BenchmarkWait.h"
#include "bench/DiskRwBenchmark.h"
#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"
#include "support/TempDir.h"

// The zoned benchmark on the memory test device, shared by the benchmark's own tests
// and the tests of its stored record.
namespace vorn::test {

inline constexpr uint32_t kBlock = 65536;

// Runs with a scripted clock (a millisecond per block unless a test scripts
// otherwise) and the diagnostic log in a temporary file.
class DiskRwBenchmarkTest : public ::testing::Test {
protected:
    void SetUp() override { openLog(logPath().c_str()); }
    void TearDown() override { closeLog(); }

    std::string logPath() const { return dir_.file("vorntest.log"); }
    std::string logText() {
        closeLog();
        return readText(logPath());
    }
    MemoryDevice& device(uint64_t sectors = 131072, uint32_t sectorSize = 512) {
        device_ = std::make_unique<MemoryDevice>(
            MemoryDevice::Options{.sectors = sectors, .sectorSize = sectorSize, .keepData = false});
        device_->useClock(&clock_);
        device_->ticksFor = [](uint64_t, const Transfer&) { return 1000000; };
        return *device_;
    }
    uint32_t run(I_Benchmark& bench) {
        bench.start(device_.get());
        return waitForStatus(bench);
    }

    TempDir dir_;
    ManualCounter clock_{1000000000};
    std::unique_ptr<MemoryDevice> device_;
};

// Four timed 64 KB blocks per zone, two zones.
inline std::unique_ptr<DiskRwBenchmark> fourBlockRead(uint32_t warmUp = 0) {
    return newDiskRwBenchmark(0, 1, kBlock, 2, warmUp, 4 * kBlock, 65536);
}

inline uint64_t valueOf(I_Benchmark& bench, uint32_t kind, uint32_t row) {
    uint64_t value = 7;
    EXPECT_TRUE(bench.getValue(kind, row, &value)) << kind << "/" << row;
    return value;
}

}  // namespace vorn::test
