#pragma once

#include <cstdint>

namespace vorn {

// Statistics shared by both benchmarks. Samples are sorted ascending first.

// Sorts samples ascending (unsigned comparison).
void sortSamples(uint32_t* samples, uint32_t count);

// 0 for no samples; the middle sample for an odd count; for an even count the mean
// of the two middle samples, rounded down.
uint32_t medianOfSorted(const uint32_t* samples, uint32_t count);

// Population standard deviation in double precision, rounded to the nearest integer
// (halves up); 0 for no samples.
uint32_t standardDeviation(const uint32_t* samples, uint32_t count);

// bytes / (ticks / frequency), truncated. A rate that does not fit 32 bits (a very
// fast transfer, or two equal counter readings) saturates at the largest value
// instead of wrapping or dividing by zero.
uint32_t rateOf(uint64_t bytes, uint64_t ticks, uint64_t frequency);

// A tick count kept as a 32-bit sample, saturating instead of wrapping.
inline uint32_t saturate32(uint64_t value) {
    return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

}  // namespace vorn
