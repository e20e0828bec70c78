#include "results/ExtendedText.h"

#include <cinttypes>
#include <cstdio>

#include "base/TextFormat.h"

namespace vorn {

namespace {

constexpr double kNsPerMs = 1e6;

// Under a millisecond a third place still tells 4 KiB latencies apart.
std::string latencyText(uint64_t ns) {
    const double ms = static_cast<double>(ns) / kNsPerMs;
    return formatted(ns < 1000000 ? "%1.3f ms" : "%1.2f ms", ms);
}

// "43.106": the stored milli-IOPS exactly, without rounding through a double.
std::string exactIops(uint64_t milliIops) {
    return formatted("%" PRIu64 ".%03" PRIu64, milliIops / 1000, milliIops % 1000);
}

// The latency cells are empty where the depth was above 1: none were taken there.
std::string reportRow(const RunStep& row, const QueuedRecord& t) {
    std::string line = formatted("%s,%u,%u,%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%s",
                                 row.name, t.blockSize, t.queueDepth, t.completions, t.bytes,
                                 t.measuredNs, t.bytesPerSecond, exactIops(t.milliIops).c_str());
    if (t.queueDepth == 1) {
        return line + formatted(",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 "\n",
                                t.latencyMedianNs, t.latencyP99Ns, t.latencyP999Ns, t.latencyMaxNs);
    }
    return line + ",,,,\n";
}

template <size_t N>
void addTests(const std::array<RunStep, N>& rows,
              const std::array<std::optional<QueuedRecord>, N>& tests,
              std::vector<std::string>* lines) {
    for (size_t i = 0; i < N; ++i) {
        if (tests[i]) {
            lines->push_back(queuedTestText(rows[i], *tests[i]));
        }
    }
}

template <size_t N>
void addReportRows(const std::array<RunStep, N>& rows,
                   const std::array<std::optional<QueuedRecord>, N>& tests, std::string* report) {
    for (size_t i = 0; i < N; ++i) {
        if (tests[i]) {
            *report += reportRow(rows[i], *tests[i]);
        }
    }
}

bool anyTest(const ExtendedFigures& figures) {
    ExtendedFigures tests = figures;
    tests.sustained.reset();
    return tests.any();
}

}  // namespace

std::string extendedLabel(const RunStep& row) {
    constexpr uint32_t kMiB = 1048576;
    const std::string size = row.blockSize % kMiB == 0 ? formatted("%uM", row.blockSize / kMiB)
                                                       : formatted("%uK", row.blockSize / 1024);
    return (row.random ? "RND" : "SEQ") + size + formatted(" Q%u", row.queueDepth);
}

double iopsOf(const QueuedRecord& test) {
    return static_cast<double>(test.milliIops) / 1000.0;
}

// A slow random write may do a few transfers a second; a tenth still counts there.
std::string iopsText(double iops) {
    return formatted(iops < 10 ? "%1.1f IOPS" : "%1.0f IOPS", iops);
}

std::string queuedTestText(const RunStep& row, const QueuedRecord& test) {
    std::string text =
        formatted("%s: %1.2f MB/s", row.name, static_cast<double>(test.bytesPerSecond) * 1e-6);
    if (test.random != 0) {
        text += ", " + iopsText(iopsOf(test));
    }
    if (test.queueDepth == 1) {
        text += ", latency " + latencyText(test.latencyMedianNs) + " median, " +
                latencyText(test.latencyP99Ns) + " p99";
    }
    return text;
}

std::vector<std::string> extendedLines(const ExtendedFigures& figures) {
    std::vector<std::string> lines;
    addTests(extendedReads, figures.reads, &lines);
    addTests(extendedWrites, figures.writes, &lines);
    if (figures.sustained) {
        lines.push_back(writeCurveText(*figures.sustained));
    }
    return lines;
}

std::string extendedReport(const ExtendedFigures& figures) {
    std::string report;
    if (anyTest(figures)) {
        report +=
            "EXTENDED TESTS\nTEST,BLOCK,QUEUE DEPTH,TRANSFERS,BYTES,MEASURED NS,BYTES PER "
            "SECOND,IOPS,MEDIAN NS,P99 NS,P99.9 NS,MAX NS\n";
        addReportRows(extendedReads, figures.reads, &report);
        addReportRows(extendedWrites, figures.writes, &report);
        report += "\n\n\n";
    }
    if (const std::optional<WriteCurve>& c = figures.sustained) {
        report +=
            "SUSTAINED WRITE\nWRITTEN,CACHE BYTES,CACHE RATE,SUSTAINED RATE,SLOWEST "
            "RATE,SLOWEST OFFSET\n";
        report += formatted("%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64
                            "\n\n\n\n",
                            c->writtenBytes, c->cacheBytes, c->cacheRate, c->sustainedRate,
                            c->slowestRate, c->slowestOffset);
    }
    return report;
}

}  // namespace vorn
