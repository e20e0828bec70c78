#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Counter.h"

namespace vorn::test {

// A performance counter that moves only when told, so transfer times and the
// statistics built on them are exact. Installed for the lifetime of the object.
class ManualCounter : public platform::CounterSource {
public:
    explicit ManualCounter(uint64_t frequency = 1000000000ull, uint64_t start = 1000)
        : ticks_(start), frequency_(frequency) {
        platform::setCounterSource(this);
    }
    ~ManualCounter() override { platform::setCounterSource(nullptr); }
    ManualCounter(const ManualCounter&) = delete;
    ManualCounter& operator=(const ManualCounter&) = delete;

    uint64_t now() override { return ticks_.load(std::memory_order_relaxed); }
    uint64_t frequency() override { return frequency_.load(std::memory_order_relaxed); }

    void advance(uint64_t ticks) { ticks_.fetch_add(ticks, std::memory_order_relaxed); }
    void set(uint64_t ticks) { ticks_.store(ticks, std::memory_order_relaxed); }
    void setFrequency(uint64_t frequency) {
        frequency_.store(frequency, std::memory_order_relaxed);
    }

private:
    std::atomic<uint64_t> ticks_;
    std::atomic<uint64_t> frequency_;
};

}  // namespace vorn::test
