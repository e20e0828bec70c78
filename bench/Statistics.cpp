#include "bench/Statistics.h"

#include <algorithm>
#include <cmath>

namespace vorn {

void sortSamples(uint32_t* samples, uint32_t count) { std::sort(samples, samples + count); }

uint32_t medianOfSorted(const uint32_t* samples, uint32_t count) {
    if (count == 0) {
        return 0;
    }
    if (count % 2 == 1) {
        return samples[count / 2];
    }
    const uint64_t sum = uint64_t{samples[count / 2 - 1]} + samples[count / 2];
    return static_cast<uint32_t>(sum / 2);
}

uint32_t standardDeviation(const uint32_t* samples, uint32_t count) {
    if (count == 0) {
        return 0;
    }
    double sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        sum += samples[i];
    }
    const double mean = sum / count;
    double squares = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const double d = samples[i] - mean;
        squares += d * d;
    }
    const double deviation = std::sqrt(squares / count);
    return static_cast<uint32_t>(std::floor(deviation + 0.5));
}

uint32_t rateOf(uint64_t bytes, uint64_t ticks, uint64_t frequency) {
    if (ticks == 0) {
        return UINT32_MAX;
    }
    const long double seconds = static_cast<long double>(ticks) / frequency;
    const long double rate = static_cast<long double>(bytes) / seconds;
    if (!(rate < 4294967296.0L)) {
        return UINT32_MAX;
    }
    return static_cast<uint32_t>(rate);
}

}  // namespace vorn
