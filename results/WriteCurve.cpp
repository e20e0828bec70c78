#include "results/WriteCurve.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/VornCollection.h"

namespace vorn {
namespace {

// The fast first part must beat the rest by this much to count as a cache: a medium
// that only drifts a little slower as it fills has none.
constexpr double kCacheFactor = 1.5;
// Each part holds at least this many spans, so one odd span at either end of the pass
// is no cache and no sustained rate.
constexpr size_t kMinPartSpans = 3;
// Spans this far from a part's typical rate (a pause, a burst) are left out of its
// rate, as long as they are few; when many are, they are how the medium behaves.
constexpr double kOutlierFactor = 2.0;
constexpr double kMostOutlierShare = 0.1;
constexpr uint32_t kValueRoom = 160;

double rateOf(const WriteSpan& s) {
    return s.seconds > 0 ? static_cast<double>(s.bytes) / s.seconds : 0;
}

uint64_t roundedRate(double bytes, double seconds) {
    return seconds > 0 ? static_cast<uint64_t>(std::llround(bytes / seconds)) : 0;
}

// The rate half of the part's bytes were written at or below.
double medianRate(const std::vector<WriteSpan>& spans, size_t from, size_t to) {
    std::vector<const WriteSpan*> timed;
    uint64_t bytes = 0;
    for (size_t i = from; i < to; ++i) {
        if (spans[i].seconds > 0) {
            timed.push_back(&spans[i]);
            bytes += spans[i].bytes;
        }
    }
    if (timed.empty()) {
        return 0;
    }
    std::sort(timed.begin(), timed.end(),
              [](const WriteSpan* a, const WriteSpan* b) { return rateOf(*a) < rateOf(*b); });
    uint64_t below = 0;
    for (const WriteSpan* s : timed) {
        below += s->bytes;
        if (2 * below >= bytes) {
            return rateOf(*s);
        }
    }
    return rateOf(*timed.back());
}

// Bytes over time of a part, without its few outlying spans.
uint64_t partRate(const std::vector<WriteSpan>& spans, size_t from, size_t to) {
    const double median = medianRate(spans, from, to);
    double bytes = 0, seconds = 0, allBytes = 0, allSeconds = 0;
    for (size_t i = from; i < to; ++i) {
        const double rate = rateOf(spans[i]);
        allBytes += static_cast<double>(spans[i].bytes);
        allSeconds += spans[i].seconds;
        if (rate * kOutlierFactor >= median && rate <= median * kOutlierFactor) {
            bytes += static_cast<double>(spans[i].bytes);
            seconds += spans[i].seconds;
        }
    }
    if (bytes < allBytes * (1 - kMostOutlierShare)) {
        return roundedRate(allBytes, allSeconds);
    }
    return roundedRate(bytes, seconds);
}

// Sums up to each span of byte weights and rates (scaled to the pass's mean, so the
// squares stay well inside a double's precision).
struct Prefix {
    std::vector<double> w, wr, wrr;
};

Prefix prefixOf(const std::vector<WriteSpan>& spans, double scale) {
    Prefix p;
    p.w.assign(spans.size() + 1, 0);
    p.wr.assign(spans.size() + 1, 0);
    p.wrr.assign(spans.size() + 1, 0);
    for (size_t i = 0; i < spans.size(); ++i) {
        const double w = spans[i].seconds > 0 ? static_cast<double>(spans[i].bytes) : 0;
        const double r = rateOf(spans[i]) / scale;
        p.w[i + 1] = p.w[i] + w;
        p.wr[i + 1] = p.wr[i] + w * r;
        p.wrr[i + 1] = p.wrr[i] + w * r * r;
    }
    return p;
}

// How far the spans' rates lie from their part's mean, summed over both parts.
double splitError(const Prefix& p, size_t k, size_t n) {
    auto part = [&](size_t a, size_t b) {
        const double w = p.w[b] - p.w[a];
        if (w <= 0) {
            return 0.0;
        }
        const double wr = p.wr[b] - p.wr[a];
        return (p.wrr[b] - p.wrr[a]) - wr * wr / w;
    };
    return part(0, k) + part(k, n);
}

// Where the pass best splits into two rates: a change point by least squares.
size_t bestSplit(const std::vector<WriteSpan>& spans, double meanRate) {
    const size_t n = spans.size();
    const Prefix p = prefixOf(spans, meanRate);
    size_t best = 0;
    double bestError = 0;
    for (size_t k = kMinPartSpans; k + kMinPartSpans <= n; ++k) {
        const double error = splitError(p, k, n);
        if (best == 0 || error < bestError) {
            best = k;
            bestError = error;
        }
    }
    return best;
}

// The slowest run of consecutive spans holding kSlowestSpan bytes; a span that holds
// more by itself stands alone.
void findSlowest(const std::vector<WriteSpan>& spans, WriteCurve& curve) {
    double bestRate = -1;
    uint64_t bytes = 0;
    double seconds = 0;
    for (size_t from = 0, to = 0; from < spans.size(); ++from) {
        while (to < spans.size() && bytes < kSlowestSpan) {
            bytes += spans[to].bytes;
            seconds += spans[to].seconds;
            ++to;
        }
        const bool whole = bytes >= kSlowestSpan || (from == 0 && to == spans.size());
        if (whole && seconds > 0 && (bestRate < 0 || bytes / seconds < bestRate)) {
            bestRate = static_cast<double>(bytes) / seconds;
            curve.slowestRate = roundedRate(static_cast<double>(bytes), seconds);
            curve.slowestOffset = spans[from].offset;
            for (size_t i = from; i < to; ++i) {
                curve.slowestOffset = std::min(curve.slowestOffset, spans[i].offset);
            }
        }
        bytes -= spans[from].bytes;
        seconds -= spans[from].seconds;
    }
}

// "180", "22", "9.8", "0.45": at least two significant digits, no more than needed.
std::string megabytes(double bytes) {
    const double mb = bytes / 1e6;
    char text[32];
    std::snprintf(text, sizeof text, mb >= 10 ? "%.0f" : "%.2g", mb);
    return text;
}

// "3.2 GB"; a cache under a tenth of a gigabyte in megabytes, as "0.0 GB" says nothing.
std::string cacheSize(uint64_t bytes) {
    if (bytes < 100'000'000) {
        return megabytes(static_cast<double>(bytes)) + " MB";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

// Exactly `count` decimal numbers parted by commas, none past 64 bits.
bool readNumbers(const char* text, uint64_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (*text < '0' || *text > '9') {
            return false;
        }
        errno = 0;
        char* end = nullptr;
        out[i] = std::strtoull(text, &end, 10);
        const char expected = i + 1 < count ? ',' : '\0';
        if (errno != 0 || *end != expected) {
            return false;
        }
        text = end + 1;
    }
    return true;
}

}  // namespace

std::optional<WriteCurve> analyseWriteCurve(const std::vector<WriteSpan>& spans) {
    WriteCurve curve;
    double seconds = 0;
    for (const WriteSpan& s : spans) {
        curve.writtenBytes += s.bytes;
        seconds += std::max(0.0, s.seconds);
    }
    if (curve.writtenBytes == 0 || seconds <= 0) {
        return std::nullopt;
    }
    const size_t n = spans.size();
    const size_t k = bestSplit(spans, static_cast<double>(curve.writtenBytes) / seconds);
    if (k != 0 && medianRate(spans, 0, k) >= kCacheFactor * medianRate(spans, k, n)) {
        for (size_t i = 0; i < k; ++i) {
            curve.cacheBytes += spans[i].bytes;
        }
        curve.cacheRate = partRate(spans, 0, k);
        curve.sustainedRate = partRate(spans, k, n);
    } else {
        curve.sustainedRate = partRate(spans, 0, n);
    }
    findSlowest(spans, curve);
    return curve;
}

std::string writeCurveText(const WriteCurve& c) {
    const std::string sustained = megabytes(static_cast<double>(c.sustainedRate));
    const std::string slowest =
        " (slowest 16 MB: " + megabytes(static_cast<double>(c.slowestRate)) + " MB/s)";
    if (c.cacheBytes == 0) {
        return "No write cache found: " + sustained + " MB/s sustained over the whole medium" +
               slowest;
    }
    return "Write cache: about " + cacheSize(c.cacheBytes) + " at " +
           megabytes(static_cast<double>(c.cacheRate)) + " MB/s, then " + sustained +
           " MB/s sustained" + slowest;
}

bool addWriteCurve(I_VornCollection& file, const WriteCurve& c) {
    char value[kValueRoom];
    std::snprintf(
        value, sizeof value, "%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64 ",%" PRIu64,
        c.writtenBytes, c.cacheBytes, c.cacheRate, c.sustainedRate, c.slowestRate, c.slowestOffset);
    return file.addEntry(kSustainedKey, value, 0, nullptr);
}

std::optional<WriteCurve> readWriteCurve(I_VornCollection& result) {
    char value[kValueRoom] = {};
    uint32_t valueCapacity = sizeof value - 1;
    uint32_t dataCapacity = 0;
    if (!result.findEntry(kSustainedKey, &valueCapacity, value, &dataCapacity, nullptr) ||
        valueCapacity >= sizeof value) {
        return std::nullopt;
    }
    uint64_t n[6] = {};
    if (!readNumbers(value, n, 6)) {
        return std::nullopt;
    }
    const WriteCurve c{n[0], n[1], n[2], n[3], n[4], n[5]};
    const bool cacheAgrees = (c.cacheBytes == 0) == (c.cacheRate == 0);
    if (c.writtenBytes == 0 || c.cacheBytes > c.writtenBytes || !cacheAgrees) {
        return std::nullopt;
    }
    return c;
}

}  // namespace vorn
