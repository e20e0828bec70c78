#include "results/WritePassSpans.h"

#include <algorithm>
#include <iterator>

namespace vorn {
namespace {

// Spans of 4 MiB show the slowest 16 MB as it was; past this many spans (a medium
// over 256 GiB) they grow instead, so their memory stays a few megabytes.
constexpr uint64_t kSpanBytes = uint64_t{4} << 20;
constexpr uint64_t kMostSpans = 65536;

}  // namespace

WritePassSpans::WritePassSpans(uint64_t mediumBytes)
    : spanBytes_(std::max(kSpanBytes, (mediumBytes + kMostSpans - 1) / kMostSpans)) {
    // One more for the part-filled span at the end, one for a request across a span.
    spans_.reserve(static_cast<size_t>(mediumBytes / spanBytes_ + 2));
}

void WritePassSpans::note(const ProbeProgress& p) {
    if (done_) {
        return;
    }
    if (pass_ == 0) {
        if (!p.writing || !p.wholeMedium) {
            return;
        }
        pass_ = p.pass;
    }
    if (p.pass != pass_) {
        finish();
        return;
    }
    if (p.doneBytes <= lastDone_) {
        return;  // the pass's opening report, or one without a request done
    }
    const uint64_t bytes = p.doneBytes - lastDone_;
    lastDone_ = p.doneBytes;
    lastNs_ = p.elapsedNs;
    open_.offset = open_.bytes == 0 ? p.atByte : std::min(open_.offset, p.atByte);
    open_.bytes += bytes;
    open_.seconds = static_cast<double>(p.elapsedNs - spanStartNs_) / 1e9;
    if (open_.bytes >= spanBytes_) {
        closeSpan();
    }
}

void WritePassSpans::finish() {
    closeSpan();
    done_ = true;
}

std::optional<WriteCurve> WritePassSpans::curve(uint64_t realBytes) {
    finish();
    std::vector<WriteSpan> real;
    real.reserve(spans_.size());
    std::copy_if(spans_.begin(), spans_.end(), std::back_inserter(real),
                 [&](const WriteSpan& s) { return s.offset + s.bytes <= realBytes; });
    return analyseWriteCurve(real);
}

void WritePassSpans::closeSpan() {
    if (open_.bytes == 0) {
        return;
    }
    if (spans_.size() < spans_.capacity()) {
        spans_.push_back(open_);
    } else if (!spans_.empty()) {
        // Never reached for a pass of the medium's size; kept within the memory taken.
        WriteSpan& last = spans_.back();
        last.offset = std::min(last.offset, open_.offset);
        last.bytes += open_.bytes;
        last.seconds += open_.seconds;
    }
    open_ = WriteSpan{};
    spanStartNs_ = lastNs_;
}

}  // namespace vorn
