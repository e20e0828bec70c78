#pragma once

#include <array>
#include <optional>
#include <string>

#include "base/VornCollection.h"
#include "bench/QueuedBenchmark.h"
#include "results/RunSteps.h"
#include "results/WriteCurve.h"

// How the extended tests and the sustained-write figures are stored in a result: keys
// of their own (the table's extended rows, and "QKXSUSTAIN"), written after every other
// entry and only when measured, so a run without them keeps exactly its old entries.
// Readers that do not know a key skip it.

namespace vorn {

// A queued test: value text "write,random,block,depth,region start,region bytes,
// completions,bytes,measured ns,bytes/s,milli-IOPS,median ns,p99 ns,p99.9 ns,max ns,
// sampled latencies" in decimal, no data.
[[nodiscard]] bool addQueuedTest(I_VornCollection& file, const char* key, const QueuedRecord& test);
// Nothing when absent or not sixteen numbers.
std::optional<QueuedRecord> readQueuedTest(I_VornCollection& result, const char* key);

// The extended figures of one stored run; absent ones stay empty.
struct ExtendedFigures {
    std::array<std::optional<QueuedRecord>, kExtendedPerKind> reads;   // extendedReads order
    std::array<std::optional<QueuedRecord>, kExtendedPerKind> writes;  // extendedWrites order
    std::optional<WriteCurve> sustained;
    bool any() const;
};

ExtendedFigures readExtendedFigures(I_VornCollection& result);

}  // namespace vorn
