// The write cache and sustained rate found in a whole-medium write pass, the line
// that states them, and their stored entry.

#include "results/WriteCurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "results/Collections.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;

// A medium written front to back at `fast` bytes/s up to `cacheBytes`, then at `slow`:
// spans of `spanBytes`, each timed as the writes inside it would take (the span across
// the cache's end partly at each rate), with a few percent of repeatable jitter.
struct Programmed {
    uint64_t mediumBytes = 16'000'000'000;
    uint64_t spanBytes = 16 * kMiB;
    uint64_t cacheBytes = 3'200'000'000;
    double fast = 180e6, slow = 22e6;
    double jitter = 0.05;
};

std::vector<WriteSpan> programmed(const Programmed& p) {
    std::vector<WriteSpan> spans;
    uint32_t seed = 12345;
    for (uint64_t at = 0; at < p.mediumBytes; at += p.spanBytes) {
        const uint64_t bytes = std::min(p.spanBytes, p.mediumBytes - at);
        const uint64_t cached = at >= p.cacheBytes ? 0 : std::min(bytes, p.cacheBytes - at);
        seed = seed * 1103515245 + 12345;
        const double wobble = 1 + p.jitter * ((seed >> 16) % 2001 / 1000.0 - 1);
        const double seconds =
            (static_cast<double>(cached) / p.fast + static_cast<double>(bytes - cached) / p.slow) *
            wobble;
        spans.push_back({at, bytes, seconds});
    }
    return spans;
}

// Sets one span to a rate of its own: a pause, or a burst the medium took in fast.
void setRate(std::vector<WriteSpan>& spans, size_t index, double rate) {
    spans.at(index).seconds = static_cast<double>(spans[index].bytes) / rate;
}

void expectNear(uint64_t measured, double truth, double share, const char* what) {
    EXPECT_NEAR(static_cast<double>(measured), truth, truth * share) << what;
}

TEST(WriteCurve, FindsTheCacheEndAndBothRatesOnProgrammedCurves) {
    Programmed small;  // a cache ending inside a span, on a small medium in wipe rows
    small.mediumBytes = 2'000'000'000;
    small.spanBytes = 2'000'000;
    small.cacheBytes = 301'000'000;
    small.fast = 40e6;
    small.slow = 12e6;
    Programmed large;  // most of the medium cached, in spans larger than 16 MB
    large.mediumBytes = 64'000'000'000;
    large.spanBytes = 64 * kMiB;
    large.cacheBytes = 48'000'000'000;
    large.fast = 95e6;
    large.slow = 30e6;
    for (const Programmed& p : {Programmed{}, small, large}) {
        SCOPED_TRACE(p.cacheBytes);
        std::vector<WriteSpan> spans = programmed(p);
        // A pause inside the cache, and a late span the medium took in fast.
        setRate(spans, spans.size() / 20, p.slow / 3);
        setRate(spans, spans.size() * 9 / 10, p.fast);
        const auto curve = analyseWriteCurve(spans);
        ASSERT_TRUE(curve.has_value());
        EXPECT_EQ(curve->writtenBytes, p.mediumBytes);
        EXPECT_NEAR(static_cast<double>(curve->cacheBytes), static_cast<double>(p.cacheBytes),
                    static_cast<double>(p.spanBytes));
        expectNear(curve->cacheRate, p.fast, 0.02, "cache rate");
        expectNear(curve->sustainedRate, p.slow, 0.02, "sustained rate");
    }
}

TEST(WriteCurve, NoCacheOnAUniformOrSlowlyFallingRate) {
    Programmed uniform;
    uniform.cacheBytes = 0;
    std::vector<WriteSpan> spans = programmed(uniform);
    setRate(spans, 3, 4e6);  // odd spans near either end are no cache and no sustained rate
    setRate(spans, 1, 200e6);
    setRate(spans, spans.size() - 2, 3e6);
    setRate(spans, spans.size() / 2, 150e6);
    auto curve = analyseWriteCurve(spans);
    ASSERT_TRUE(curve.has_value());
    EXPECT_EQ(curve->cacheBytes, 0u);
    EXPECT_EQ(curve->cacheRate, 0u);
    expectNear(curve->sustainedRate, uniform.slow, 0.02, "whole pass");

    // A medium that slows by a quarter as it fills has no cache either.
    for (size_t i = 0; i < spans.size(); ++i) {
        const double share = static_cast<double>(i) / static_cast<double>(spans.size());
        setRate(spans, i, 30e6 * (1 - 0.25 * share));
    }
    curve = analyseWriteCurve(spans);
    ASSERT_TRUE(curve.has_value());
    EXPECT_EQ(curve->cacheBytes, 0u);
    EXPECT_GT(curve->sustainedRate, 22.5e6);
    EXPECT_LT(curve->sustainedRate, 30e6);
}

TEST(WriteCurve, SlowestSixteenMegabytesAndWhereTheyStart) {
    // 4 MiB spans at 20 MB/s; four in a row at 8 MB/s, and single slower spans whose
    // 16 MiB around them still go faster than those four (11 MB/s at best).
    std::vector<WriteSpan> spans;
    for (uint64_t i = 0; i < 200; ++i) {
        spans.push_back({i * 4 * kMiB, 4 * kMiB, 4.0 * kMiB / 20e6});
    }
    for (size_t i = 120; i < 124; ++i) {
        setRate(spans, i, 8e6);
    }
    setRate(spans, 40, 5e6);
    setRate(spans, 170, 5e6);
    auto curve = analyseWriteCurve(spans);
    ASSERT_TRUE(curve.has_value());
    expectNear(curve->slowestRate, 8e6, 0.001, "four slow spans");
    EXPECT_EQ(curve->slowestOffset, 120 * 4 * kMiB);

    // Written from the top down (as the full capacity check does): the stretch starts
    // at its lowest byte.
    std::reverse(spans.begin(), spans.end());
    curve = analyseWriteCurve(spans);
    ASSERT_TRUE(curve.has_value());
    EXPECT_EQ(curve->slowestOffset, 120 * 4 * kMiB);

    // Spans larger than 16 MiB: the slowest span itself.
    std::vector<WriteSpan> large;
    for (uint64_t i = 0; i < 50; ++i) {
        large.push_back({i * 64 * kMiB, 64 * kMiB, 64.0 * kMiB / (20e6 + 1e5 * (i % 7))});
    }
    setRate(large, 33, 9.8e6);
    curve = analyseWriteCurve(large);
    ASSERT_TRUE(curve.has_value());
    expectNear(curve->slowestRate, 9.8e6, 0.001, "slowest large span");
    EXPECT_EQ(curve->slowestOffset, 33 * 64 * kMiB);

    // A pass smaller than 16 MiB: its own rate.
    curve = analyseWriteCurve({{0, 4 * kMiB, 0.5}, {4 * kMiB, 4 * kMiB, 0.5}});
    ASSERT_TRUE(curve.has_value());
    EXPECT_EQ(curve->slowestRate, 8 * kMiB);
    EXPECT_EQ(curve->slowestOffset, 0u);
}

TEST(WriteCurve, NothingToTellWithoutBytesOrTime) {
    EXPECT_FALSE(analyseWriteCurve({}).has_value());
    EXPECT_FALSE(analyseWriteCurve({{0, 0, 1.0}, {0, 0, 2.0}}).has_value());
    EXPECT_FALSE(analyseWriteCurve({{0, kMiB, 0}, {kMiB, kMiB, 0}}).has_value());
    // A span with no time among timed ones is passed over, not divided by.
    const auto curve = analyseWriteCurve({{0, kMiB, 0.1}, {kMiB, kMiB, 0}, {2 * kMiB, kMiB, 0.1}});
    ASSERT_TRUE(curve.has_value());
    EXPECT_EQ(curve->writtenBytes, 3 * kMiB);
    EXPECT_GT(curve->slowestRate, 0u);
}

TEST(WriteCurve, LineStatesCacheRatesAndSlowestStretch) {
    WriteCurve c;
    c.writtenBytes = 16'000'000'000;
    c.cacheBytes = 3'213'000'000;
    c.cacheRate = 180'400'000;
    c.sustainedRate = 22'490'000;
    c.slowestRate = 9'760'000;
    EXPECT_EQ(writeCurveText(c),
              "Write cache: about 3.2 GB at 180 MB/s, then 22 MB/s sustained (slowest 16 MB: "
              "9.8 MB/s)");
    c.cacheBytes = 48'000'000;  // too small for a tenth of a gigabyte
    c.cacheRate = 1'240'000;
    c.sustainedRate = 455'000;
    c.slowestRate = 99'600'000;
    EXPECT_EQ(writeCurveText(c),
              "Write cache: about 48 MB at 1.2 MB/s, then 0.46 MB/s sustained (slowest 16 MB: "
              "100 MB/s)");
    c.cacheBytes = 0;
    c.cacheRate = 0;
    c.sustainedRate = 22'000'000;
    c.slowestRate = 9'800'000;
    EXPECT_EQ(writeCurveText(c),
              "No write cache found: 22 MB/s sustained over the whole medium (slowest 16 MB: "
              "9.8 MB/s)");
}

TEST(WriteCurve, StoredCurveReadsBackAndDamagedValuesDoNot) {
    TempDir dir;
    const std::string path = dir.file("r.qkt");
    WriteCurve c;
    c.writtenBytes = 256'000'000'000;
    c.cacheBytes = 3'200'000'000;
    c.cacheRate = 180'000'000;
    c.sustainedRate = 22'000'000;
    c.slowestRate = 9'800'000;
    c.slowestOffset = 255'000'000'000;
    {
        auto file = createCollection(path.c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(addWriteCurve(*file, c));
    }
    const auto back = readWriteCurve(*openCollection(path.c_str()));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->writtenBytes, c.writtenBytes);
    EXPECT_EQ(back->cacheBytes, c.cacheBytes);
    EXPECT_EQ(back->cacheRate, c.cacheRate);
    EXPECT_EQ(back->sustainedRate, c.sustainedRate);
    EXPECT_EQ(back->slowestRate, c.slowestRate);
    EXPECT_EQ(back->slowestOffset, c.slowestOffset);

    for (const char* value :
         {"", "1,2,3,4,5", "1,2,3,4,5,6,7", "100,0,0,22,9,0x", "100,200,1,22,9,0", "0,0,0,22,9,0",
          "100,50,0,22,9,0", "100,0,5,22,9,0", "100,-5,5,22,9,0", "100,50,5,22,9,0 ",
          "100,50,5,22,9,99999999999999999999"}) {
        SCOPED_TRACE(value);
        const std::string damaged = dir.file("d.qkt");
        {
            ASSERT_TRUE(
                createCollection(damaged.c_str())->addEntry(kSustainedKey, value, 0, nullptr));
        }
        auto reader = openCollection(damaged.c_str());
        ASSERT_NE(reader, nullptr);
        EXPECT_FALSE(readWriteCurve(*reader).has_value());
    }
    // A value longer than any curve is damage, not a curve cut short.
    const std::string padded = dir.file("long.qkt");
    const std::string longValue = "100,0,0,22,9," + std::string(300, '0');
    {
        ASSERT_TRUE(createCollection(padded.c_str())
                        ->addEntry(kSustainedKey, longValue.c_str(), 0, nullptr));
    }
    EXPECT_FALSE(readWriteCurve(*openCollection(padded.c_str())).has_value());
    // Absent in a result without it.
    const std::string plain = dir.file("p.qkt");
    { ASSERT_TRUE(createCollection(plain.c_str())->addEntry("QKCTIME", nullptr, 0, nullptr)); }
    EXPECT_FALSE(readWriteCurve(*openCollection(plain.c_str())).has_value());
}

}  // namespace
}  // namespace vorn::test
