#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "results/RunSteps.h"
#include "results/WriteCurve.h"

namespace vorn {

struct TimelineStep {
    std::string name;                 // as the event log notes it ("Read Test (2k block)")
    StepKind kind = StepKind::Other;  // from the run's step table; Other for unknown names
    uint32_t color = 0;               // 0xRRGGBB
};

// One transfer of "event.log", or one row of many summed: a wipe row (WIPE) or a batch
// row of an extended test (READS, WRITES).
struct TimelinePoint {
    double timeSec = 0;  // start, from the log's time origin
    double durationMs = 0;
    double rate = 0;    // bytes per second; 0 for a failed transfer
    uint32_t step = 0;  // index into steps
    bool failed = false;
    bool summed = false;  // many transfers: its duration is no access time
    bool write = false;
};

// Everything the timeline shows, read once from an event log: the window, the
// terminal's picture and the tests all draw from this.
struct TimelineModel {
    std::vector<TimelineStep> steps;  // steps[0] is the time outside any step
    std::vector<TimelinePoint> points;
    std::vector<double> zoneStarts;  // times where a test moves to its next zone
    double endSec = 0;
    double maxRate = 0;
    // The rate the plot's axis reaches: the 99.5th percentile, so a few cached or
    // instant transfers do not flatten everything else (those are drawn at the top).
    double scaleRate = 0;
    bool logTruncated = false;     // the log itself says it lost transfers
    bool endedEarly = false;       // a step ended with an error or a cancel
    bool rowLimitReached = false;  // more rows than kTimelineRowLimit: the rest not read
    // The write curve of the log's first wipe (its WIPE rows), and the time its write
    // cache was full; cacheEndSec is below 0 when no cache was found.
    std::optional<WriteCurve> wipeCurve;
    double cacheEndSec = -1;
};

// A picture stays responsive and a file bounded up to this many transfers.
inline constexpr size_t kTimelineRowLimit = 1000000;

// Reads an event log's CSV text; lines that are no transfer, note or known heading are
// passed over.
TimelineModel buildTimeline(std::istream& csv, size_t rowLimit = kTimelineRowLimit);

// The access times (ms) of the random and sequential access tests, in bins of
// `binMs` from 0 to the slowest access.
struct AccessHistogram {
    double binMs = 0;
    std::vector<uint32_t> random, sequential;  // counts per bin
    uint32_t beyond = 0;                       // accesses past the last bin's end, counted in it
};
// With `topMs` above zero the bins cover 0 to `topMs` instead (slower accesses count in
// the last bin), so a picture can put its bin edges on round values.
AccessHistogram accessHistogram(const TimelineModel& model, size_t bins = 40, double topMs = 0);

// The slowest access of the access tests, in ms; 0 without any.
double slowestAccessMs(const TimelineModel& model);
// The access time (ms) that `share` (0..1) of the accesses take at most; 0 without any.
double accessPercentileMs(const TimelineModel& model, double share);

// What the progress window calls a step while it runs ("Testing Flash Device" for the
// log's "Flash test:read"); the log's own name for a step no run writes.
std::string stepDisplayName(const std::string& logName);

// The colour and legend caption of a kind of step.
uint32_t stepColor(StepKind kind, uint32_t blockSize);
const char* stepCaption(StepKind kind);

}  // namespace vorn
