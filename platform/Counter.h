#pragma once

#include <cstdint>

namespace vorn::platform {

// The high-resolution performance counter every transfer is timed with.
// On Linux it counts nanoseconds of CLOCK_MONOTONIC_RAW, so its frequency is 1e9.

// Tests replace the clock with one they drive themselves, so benchmark statistics
// can be checked exactly from scripted transfer times instead of real sleeps.
class CounterSource {
public:
    virtual ~CounterSource() = default;
    virtual uint64_t now() = 0;
    // Counts per second; 0 means the frequency cannot be had.
    virtual uint64_t frequency() = 0;
};

// Installs a replacement clock; nullptr restores the real one. The source must
// outlive its use; install it only while no worker is timing anything.
void setCounterSource(CounterSource* source);

// Current counter value.
uint64_t counterNow();

// Counts per second, or 0 when the counter has no frequency.
uint64_t counterFrequency();

}  // namespace vorn::platform
