#pragma once

#include <string>
#include <vector>

#include "results/ExtendedEntries.h"

// How the extended figures read wherever a result is shown in words: the chart's
// summary, the selection window's information, show and the statistics report.

namespace vorn {

// The short name of an extended test for a bar: "SEQ1M Q1", "RND4K Q32".
std::string extendedLabel(const RunStep& row);

// Transfers per second, from the stored milli-IOPS.
double iopsOf(const QueuedRecord& test);
// "1299 IOPS", with a tenth below 10 ("4.9 IOPS").
std::string iopsText(double iops);

// "Read SEQ 1MiB Q1: 45.20 MB/s, latency 22.10 ms median, 25.00 ms p99" or "Write RND
// 4KiB Q32: 0.51 MB/s, 124 IOPS": IOPS for the random tests, latency for depth 1.
std::string queuedTestText(const RunStep& row, const QueuedRecord& test);

// One line per figure present: the reads, the writes, then the sustained write
// (writeCurveText).
std::vector<std::string> extendedLines(const ExtendedFigures& figures);

// The statistics report's blocks for the figures present ("EXTENDED TESTS" and
// "SUSTAINED WRITE", each ending "\n\n\n"); empty without any.
std::string extendedReport(const ExtendedFigures& figures);

}  // namespace vorn
