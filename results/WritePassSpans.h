#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "bench/CapacityProbe.h"
#include "results/WriteCurve.h"

namespace vorn {

// Gathers the full capacity check's whole-medium write pass into spans for
// analyseWriteCurve, from the progress the check reports after every request. The
// spans are taken up front for the medium's size, so noting a request inside the
// timed pass never allocates; spans grow larger on a medium too big for their count.
class WritePassSpans {
public:
    explicit WritePassSpans(uint64_t mediumBytes);

    // Every progress report of the check; only the first whole-medium write pass counts.
    void note(const ProbeProgress& progress);
    // Ends the pass where the check ended (it ends by itself when the next pass begins).
    void finish();
    // The pass's spans in the order written, up to the last one closed.
    const std::vector<WriteSpan>& spans() const { return spans_; }
    uint64_t spanBytes() const { return spanBytes_; }
    // The curve of the pass once finished, over the spans below `realBytes` (writes to
    // storage a counterfeit medium does not have tell nothing of its writing); nothing
    // without a whole-medium write pass.
    std::optional<WriteCurve> curve(uint64_t realBytes);

private:
    void closeSpan();

    std::vector<WriteSpan> spans_;
    uint64_t spanBytes_ = 0;
    uint32_t pass_ = 0;  // the recorded pass; 0 before it began
    bool done_ = false;
    uint64_t lastDone_ = 0;
    uint64_t lastNs_ = 0;
    uint64_t spanStartNs_ = 0;
    WriteSpan open_;
};

}  // namespace vorn
