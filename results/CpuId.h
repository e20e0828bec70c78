#pragma once

#include <cstdint>

namespace vorn {

// The processor's raw identification as result files keep it ("WPCCPUID"): CPUID
// leaves 0, 1, 0x80000002, 0x80000003 and 0x80000004, each as EAX, EBX, ECX, EDX in
// 32-bit little-endian values, 16 bytes per leaf.
inline constexpr uint32_t kCpuIdBlockSize = 80;

// Fills all 80 bytes; leaves that cannot be read (any processor without CPUID)
// stay zero.
void readCpuIdBlock(uint8_t out[kCpuIdBlockSize]);

// The processor clock in MHz, rounded, measured against the performance counter
// over one second (the calling thread sleeps that long). 0 without a time-stamp
// counter or a counter frequency.
int32_t measureCpuMhz();

// MHz from a time-stamp counter difference over a performance counter difference
// at the given counter frequency; 0 when either the ticks or the frequency is 0.
int32_t cpuMhzFrom(uint64_t cycles, uint64_t ticks, uint64_t frequency);

}  // namespace vorn
