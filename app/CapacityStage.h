#pragma once

#include <optional>

#include "app/TestRun.h"
#include "bench/CapacityProbe.h"
#include "storage/LimitedDevice.h"

namespace vorn {

class I_VornCollection;

// The capacity check as the first phase of a test run. A medium found to hold less
// than it claims is reported and the user decides whether to go on; the rest of the
// run then sees the device only up to the verified size, so every benchmark zone,
// the wipe and the markers lie in storage that is really there.
class CapacityStage {
public:
    explicit CapacityStage(const TestRunContext& run);
    CapacityStage(const CapacityStage&) = delete;
    CapacityStage& operator=(const CapacityStage&) = delete;

    // The context for the rest of the run. Without the check it is the run's own.
    const TestRunContext& context() const { return checking() ? limitedRun_ : run_; }
    // The check on the test row; true without the check. False when the check failed
    // or was cancelled, when the user chose not to go on, or when the verified part
    // is too small for the tests.
    bool run();
    // The result under its own key, only when the check ran; true otherwise.
    bool store(I_VornCollection& file) const;

private:
    bool checking() const { return run_.capacityCheck && run_.writeTest; }
    bool goOnInside(const CapacityResult& result);
    void noteError(ProbeStatus status);

    const TestRunContext& run_;
    LimitedDevice limited_;
    TestRunContext limitedRun_;
    std::optional<CapacityResult> result_;
};

}  // namespace vorn
