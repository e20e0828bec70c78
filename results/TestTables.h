#pragma once

#include <cstdint>

namespace vorn {

// One read or write test of a run: its display name (also the step name in the logs),
// the key its results are stored under, and its block size.
struct TestTableEntry {
    const char* caption;
    const char* resultKey;
    uint32_t blockSize;
};

inline constexpr int kTestsPerTable = 6;

inline constexpr TestTableEntry readTests[kTestsPerTable] = {
    {"Read Test (2k block)", "QKCR2", 2048},    {"Read Test (4k block)", "QKCR4", 4096},
    {"Read Test (8k block)", "QKCR8", 8192},    {"Read Test (16k block)", "QKCR16", 16384},
    {"Read Test (32k block)", "QKCR32", 32768}, {"Read Test (64k block)", "QKCR64", 65536},
};

inline constexpr TestTableEntry writeTests[kTestsPerTable] = {
    {"Write Test (2k block)", "QKCW2", 2048},    {"Write Test (4k block)", "QKCW4", 4096},
    {"Write Test (8k block)", "QKCW8", 8192},    {"Write Test (16k block)", "QKCW16", 16384},
    {"Write Test (32k block)", "QKCW32", 32768}, {"Write Test (64k block)", "QKCW64", 65536},
};

}  // namespace vorn
