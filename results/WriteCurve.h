#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorn {

class I_VornCollection;

// One stretch of a whole-medium write pass, in the order it was written (a WIPE row
// of the event log, or a chunk of the full capacity check's write pass).
struct WriteSpan {
    uint64_t offset = 0;  // bytes from the start of the medium
    uint64_t bytes = 0;
    double seconds = 0;  // from its first write's start to its last write's end
};

// What a whole-medium write pass tells of the medium's write cache: a fast first part
// (the cache) and the sustained rate after it, and the slowest 16 MB anywhere.
struct WriteCurve {
    uint64_t writtenBytes = 0;   // the bytes the pass wrote
    uint64_t cacheBytes = 0;     // 0 when no faster first part was found
    uint64_t cacheRate = 0;      // bytes/s over the cache; 0 when none was found
    uint64_t sustainedRate = 0;  // bytes/s after the cache (over the whole pass without one)
    uint64_t slowestRate = 0;    // bytes/s of the slowest stretch of kSlowestSpan bytes
    uint64_t slowestOffset = 0;  // where that stretch starts
};

inline constexpr uint64_t kSlowestSpan = uint64_t{16} << 20;

// The curve of a write pass; nothing when the spans hold too little to tell (no
// bytes, or no time).
std::optional<WriteCurve> analyseWriteCurve(const std::vector<WriteSpan>& spans);

// "Write cache: about 3.2 GB at 180 MB/s, then 22 MB/s sustained (slowest 16 MB:
// 9.8 MB/s)", or without a cache "No write cache found: 22 MB/s sustained over the whole
// medium (slowest 16 MB: 9.8 MB/s)". Decimal GB and MB, as the chart shows rates.
std::string writeCurveText(const WriteCurve& curve);

// Stored as "QKXSUSTAIN", value text "written,cache bytes,cache rate,sustained rate,
// slowest rate,slowest offset" in decimal, no data.
inline constexpr const char* kSustainedKey = "QKXSUSTAIN";
[[nodiscard]] bool addWriteCurve(I_VornCollection& file, const WriteCurve& curve);
std::optional<WriteCurve> readWriteCurve(I_VornCollection& result);

}  // namespace vorn
