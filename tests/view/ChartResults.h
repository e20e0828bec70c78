#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/DiskRwBenchmark.h"
#include "bench/RAccessBenchmark.h"
#include "results/Collections.h"
#include "results/ExtendedEntries.h"
#include "results/RunSteps.h"

// Result files for the chart tests, written entry by entry with the same 32-byte
// records the benchmarks store, so every value the chart reads is known in advance.
namespace vorn::test {

struct StoredTest {
    const char* key;
    uint32_t bytesPerSecond;  // zone rate of the first zone
    uint32_t zones = 1;       // 0 stores the key without any zone record
};

struct StoredResult {
    std::optional<std::string> driveId = "USB Flash Disk 1.00";
    std::vector<StoredTest> tests;
    std::optional<uint32_t> randomHundredths;  // mean access times
    std::optional<uint32_t> sequentialHundredths;
    std::optional<int32_t> testTime;
    // Extended tests, stored after everything else as a run stores them.
    std::vector<std::pair<const char*, QueuedRecord>> queued;
    std::optional<std::string> sustained;  // the "QKXSUSTAIN" value text
    // Further entries (a device record, a link), written last.
    std::function<bool(I_VornCollection&)> more;
};

// A frequency at which one counter tick reads back as one hundredth of a millisecond.
inline constexpr uint64_t kHundredthTicks = 100000;

inline bool addAccess(I_VornCollection& file, const char* key, uint32_t hundredths) {
    AccessResult access{};
    access.frequency = kHundredthTicks;
    access.meanTicks = hundredths;
    access.maxTicks = access.minTicks = access.medianTicks = hundredths;
    return file.addEntry(key, "512", sizeof access, &access);
}

// Writes the result to `path`; false when any entry could not be written.
inline bool writeResultFile(const std::string& path, const StoredResult& result) {
    auto file = createCollection(path.c_str());
    if (!file) {
        return false;
    }
    bool ok = file->addEntry("VERSION", "1.0.0.1", 0, nullptr);
    if (result.driveId) {
        ok = ok && file->addEntry("DRIVEID", result.driveId->c_str(), 0, nullptr);
    }
    for (const StoredTest& test : result.tests) {
        std::vector<ZoneResult> zones(test.zones);
        for (uint32_t i = 0; i < test.zones; ++i) {
            // Later zones are slower, so a test that wrongly reads them is caught.
            zones[i] = {
                i * 1048576ull, test.bytesPerSecond, 0, 0, test.bytesPerSecond / (i + 1), 0, 0};
        }
        ok = ok && file->addEntry(test.key, "0,1,64,65536,2097152,8388608,1",
                                  static_cast<uint32_t>(zones.size() * sizeof(ZoneResult)),
                                  zones.empty() ? nullptr : zones.data());
    }
    if (result.randomHundredths) {
        ok = ok && addAccess(*file, "QKCRACCESS", *result.randomHundredths);
    }
    if (result.sequentialHundredths) {
        ok = ok && addAccess(*file, "QKCSACCESS", *result.sequentialHundredths);
    }
    if (result.testTime) {
        const int32_t time = *result.testTime;
        const unsigned char bytes[4] = {
            static_cast<unsigned char>(time), static_cast<unsigned char>(time >> 8),
            static_cast<unsigned char>(time >> 16), static_cast<unsigned char>(time >> 24)};
        ok = ok && file->addEntry("QKCTIME", nullptr, sizeof bytes, bytes);
    }
    for (const auto& [key, test] : result.queued) {
        ok = ok && addQueuedTest(*file, key, test);
    }
    if (result.sustained) {
        ok = ok && file->addEntry(kSustainedKey, result.sustained->c_str(), 0, nullptr);
    }
    if (result.more) {
        ok = ok && result.more(*file);
    }
    return ok;
}

// An extended test of `row` as a run measures it at `bytesPerSecond` over 5 s; at depth 1
// each transfer takes its share of the time, the median that long, p99 twice, p99.9
// three times and the maximum four times as long.
inline QueuedRecord queuedRecord(const RunStep& row, uint64_t bytesPerSecond) {
    QueuedRecord r;
    r.write = row.kind == StepKind::ExtendedWrite ? 1 : 0;
    r.random = row.random ? 1 : 0;
    r.blockSize = row.blockSize;
    r.queueDepth = row.queueDepth;
    r.regionBytes = kExtendedRegion;
    r.measuredNs = 5'000'000'000;
    r.bytesPerSecond = bytesPerSecond;
    r.bytes = bytesPerSecond * 5;
    r.completions = r.bytes / row.blockSize;
    r.milliIops = bytesPerSecond * 1000 / row.blockSize;
    if (row.queueDepth == 1 && bytesPerSecond > 0) {
        r.latencyMedianNs = uint64_t{row.blockSize} * 1'000'000'000 / bytesPerSecond;
        r.latencyP99Ns = 2 * r.latencyMedianNs;
        r.latencyP999Ns = 3 * r.latencyMedianNs;
        r.latencyMaxNs = 4 * r.latencyMedianNs;
        r.sampledLatencies = static_cast<uint32_t>(r.completions);
    }
    return r;
}

// Extended tests at the given rates in bytes/s, in table order (SEQ 1 MiB Q1 first); a
// rate of 0 leaves its test out.
template <size_t N>
void addExtended(StoredResult* result, const std::array<RunStep, N>& rows,
                 const std::vector<uint64_t>& rates) {
    for (size_t i = 0; i < rates.size() && i < N; ++i) {
        if (rates[i] != 0) {
            result->queued.emplace_back(rows[i].resultKey, queuedRecord(rows[i], rates[i]));
        }
    }
}

// Tests of a table (readTests or writeTests) with the given rates in bytes/s, 2k first.
inline std::vector<StoredTest> tableTests(const std::array<RunStep, kTestsPerTable>& table,
                                          const std::vector<uint32_t>& rates) {
    std::vector<StoredTest> tests;
    for (size_t i = 0; i < rates.size() && i < kTestsPerTable; ++i) {
        tests.push_back({table[i].resultKey, rates[i]});
    }
    return tests;
}

// A result with read and write rates (2k first), both access times and a test time.
inline StoredResult sampleResult(const std::string& id, std::vector<uint32_t> read,
                                 std::vector<uint32_t> write) {
    StoredResult result;
    result.driveId = id;
    result.tests = tableTests(readTests, read);
    for (const StoredTest& test : tableTests(writeTests, write)) {
        result.tests.push_back(test);
    }
    result.randomHundredths = 152;
    result.sequentialHundredths = 31;
    result.testTime = 1205531250;
    return result;
}

// sampleResult with extended reads and writes at the given rates (addExtended).
inline StoredResult extendedSample(const std::string& id, std::vector<uint64_t> read,
                                   std::vector<uint64_t> write) {
    StoredResult result = sampleResult(id, {3000000, 5000000}, {1000000, 2000000});
    addExtended(&result, extendedReads, read);
    addExtended(&result, extendedWrites, write);
    return result;
}

}  // namespace vorn::test
