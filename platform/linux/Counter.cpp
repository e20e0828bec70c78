#include "platform/Counter.h"

#include <atomic>
#include <ctime>

namespace vorn::platform {
namespace {

std::atomic<CounterSource*> g_source{nullptr};

uint64_t clockNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

void setCounterSource(CounterSource* source) {
    g_source.store(source, std::memory_order_release);
}

uint64_t counterNow() {
    CounterSource* source = g_source.load(std::memory_order_acquire);
    return source ? source->now() : clockNow();
}

uint64_t counterFrequency() {
    CounterSource* source = g_source.load(std::memory_order_acquire);
    return source ? source->frequency() : 1000000000ull;
}

}  // namespace vorn::platform
