#include "results/CpuId.h"

#include <chrono>
#include <cstring>
#include <exception>
#include <limits>
#include <thread>

#include "base/DiagLog.h"
#include "base/LittleEndian.h"
#include "platform/Counter.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <x86intrin.h>
#define VORN_HAS_CPUID 1
#else
#define VORN_HAS_CPUID 0
#endif

namespace vorn {
namespace {

constexpr uint32_t kLeaves[] = {0, 1, 0x80000002u, 0x80000003u, 0x80000004u};
constexpr uint32_t kGroupSize = 16;
// Leaf 1, EDX: the processor has a time-stamp counter.
constexpr uint32_t kTimeStampBit = 1u << 4;

// Executes one leaf into its 16-byte group; false where the processor has no CPUID.
bool cpuidLeaf(uint32_t leaf, uint8_t* group) {
#if VORN_HAS_CPUID
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    __cpuid_count(leaf, 0, eax, ebx, ecx, edx);
    storeLe32(group, eax);
    storeLe32(group + 4, ebx);
    storeLe32(group + 8, ecx);
    storeLe32(group + 12, edx);
    return true;
#else
    (void)leaf;
    (void)group;
    return false;
#endif
}

bool hasTimeStamp() {
#if VORN_HAS_CPUID
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (edx & kTimeStampBit) != 0;
#else
    return false;
#endif
}

uint64_t timeStamp() {
#if VORN_HAS_CPUID
    return __rdtsc();
#else
    return 0;
#endif
}

}  // namespace

void readCpuIdBlock(uint8_t out[kCpuIdBlockSize]) {
    uint8_t groups[kCpuIdBlockSize] = {};
    try {
        for (uint32_t i = 0; i < sizeof kLeaves / sizeof kLeaves[0]; ++i) {
            if (!cpuidLeaf(kLeaves[i], groups + i * kGroupSize)) {
                break;
            }
        }
    } catch (const std::exception& exception) {
        logException("CPUID", exception);
    } catch (...) {
        logUnknownException("CPUID", -1);
    }
    std::memcpy(out, groups, kCpuIdBlockSize);
}

int32_t cpuMhzFrom(uint64_t cycles, uint64_t ticks, uint64_t frequency) {
    if (frequency == 0 || ticks == 0) {
        return 0;
    }
    const double seconds = static_cast<double>(ticks) / static_cast<double>(frequency);
    const double mhz = static_cast<double>(cycles) / seconds * 0.000001 + 0.5;
    // A nonsense interval must not turn into an out-of-range conversion.
    if (mhz >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(mhz);
}

int32_t measureCpuMhz() {
    // Without a counter frequency or a time-stamp counter the answer is 0 whatever
    // the second would show, so the caller is not kept waiting for it.
    if (platform::counterFrequency() == 0 || !hasTimeStamp()) {
        return 0;
    }
    // The counter interval brackets the time-stamp interval.
    const uint64_t t0 = platform::counterNow();
    const uint64_t c0 = timeStamp();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    const uint64_t c1 = timeStamp();
    const uint64_t t1 = platform::counterNow();
    return cpuMhzFrom(c1 - c0, t1 - t0, platform::counterFrequency());
}

}  // namespace vorn
