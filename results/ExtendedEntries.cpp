#include "results/ExtendedEntries.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>

namespace vorn {

namespace {

constexpr int kFields = 16;
// Sixteen numbers of at most twenty digits, the commas and the zero byte, with room
// to spare; a longer stored value is no queued test.
constexpr uint32_t kValueRoom = 384;

// Reads the comma-separated decimal numbers of `text` into `out`: exactly kFields of
// them, digits only (no sign, no blanks), none past 64 bits.
bool parseFields(const char* text, const char* end, uint64_t (&out)[kFields]) {
    for (int i = 0; i < kFields; ++i) {
        const auto [next, error] = std::from_chars(text, end, out[i]);
        if (error != std::errc{} || next == text) {
            return false;
        }
        const bool last = i + 1 == kFields;
        if (last ? next != end : (next == end || *next != ',')) {
            return false;
        }
        text = next + 1;
    }
    return true;
}

bool fits32(uint64_t value) {
    return value <= std::numeric_limits<uint32_t>::max();
}

// Fields no run can have measured: flags other than 0 or 1, a block or depth of 0, a
// 32-bit field past 32 bits, latency percentiles out of order.
std::optional<QueuedRecord> recordOf(const uint64_t (&f)[kFields]) {
    if (f[0] > 1 || f[1] > 1 || f[2] == 0 || !fits32(f[2]) || f[3] == 0 || !fits32(f[3]) ||
        !fits32(f[15])) {
        return std::nullopt;
    }
    if (f[11] > f[12] || f[12] > f[13] || f[13] > f[14]) {
        return std::nullopt;
    }
    QueuedRecord r;
    r.write = static_cast<uint32_t>(f[0]);
    r.random = static_cast<uint32_t>(f[1]);
    r.blockSize = static_cast<uint32_t>(f[2]);
    r.queueDepth = static_cast<uint32_t>(f[3]);
    r.regionStart = f[4];
    r.regionBytes = f[5];
    r.completions = f[6];
    r.bytes = f[7];
    r.measuredNs = f[8];
    r.bytesPerSecond = f[9];
    r.milliIops = f[10];
    r.latencyMedianNs = f[11];
    r.latencyP99Ns = f[12];
    r.latencyP999Ns = f[13];
    r.latencyMaxNs = f[14];
    r.sampledLatencies = static_cast<uint32_t>(f[15]);
    return r;
}

// The key names the test; a record of another test is not shown under its name.
bool isTestOf(const QueuedRecord& r, const RunStep& row) {
    const uint32_t write = row.kind == StepKind::ExtendedWrite ? 1 : 0;
    return r.write == write && r.random == (row.random ? 1u : 0u) && r.blockSize == row.blockSize &&
           r.queueDepth == row.queueDepth;
}

template <size_t N>
void readRows(I_VornCollection& result, const std::array<RunStep, N>& rows,
              std::array<std::optional<QueuedRecord>, N>* out) {
    for (size_t i = 0; i < N; ++i) {
        std::optional<QueuedRecord> test = readQueuedTest(result, rows[i].resultKey);
        if (test && isTestOf(*test, rows[i])) {
            (*out)[i] = test;
        }
    }
}

}  // namespace

bool addQueuedTest(I_VornCollection& file, const char* key, const QueuedRecord& t) {
    char value[kValueRoom];
    const int length = std::snprintf(
        value, sizeof value,
        "%u,%u,%u,%u,%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64
        ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%u",
        t.write, t.random, t.blockSize, t.queueDepth, t.regionStart, t.regionBytes, t.completions,
        t.bytes, t.measuredNs, t.bytesPerSecond, t.milliIops, t.latencyMedianNs, t.latencyP99Ns,
        t.latencyP999Ns, t.latencyMaxNs, t.sampledLatencies);
    return length > 0 && static_cast<size_t>(length) < sizeof value &&
           file.addEntry(key, value, 0, nullptr);
}

std::optional<QueuedRecord> readQueuedTest(I_VornCollection& result, const char* key) {
    char value[kValueRoom] = {};
    uint32_t valueCapacity = sizeof value - 1;
    uint32_t dataCapacity = 0;
    if (!result.findEntry(key, &valueCapacity, value, &dataCapacity, nullptr)) {
        return std::nullopt;
    }
    // A stored value longer than the buffer was cut.
    uint64_t fields[kFields] = {};
    if (valueCapacity > sizeof value - 1 ||
        !parseFields(value, value + std::strlen(value), fields)) {
        return std::nullopt;
    }
    return recordOf(fields);
}

bool ExtendedFigures::any() const {
    for (const auto* tests : {&reads, &writes}) {
        for (const std::optional<QueuedRecord>& test : *tests) {
            if (test) {
                return true;
            }
        }
    }
    return sustained.has_value();
}

ExtendedFigures readExtendedFigures(I_VornCollection& result) {
    ExtendedFigures figures;
    readRows(result, extendedReads, &figures.reads);
    readRows(result, extendedWrites, &figures.writes);
    figures.sustained = readWriteCurve(result);
    return figures;
}

}  // namespace vorn
