#pragma once

#include <chrono>
#include <thread>

#include "bench/Benchmark.h"

namespace vorn::test {

// Polls like the run sequence does until the benchmark reports a status; gives up
// (answering 0) after a generous minute so a hung worker fails the test, not CI.
inline uint32_t waitForStatus(I_Benchmark& benchmark) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < deadline) {
        if (const uint32_t status = benchmark.getStatus(); status != 0) {
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
}

}  // namespace vorn::test
