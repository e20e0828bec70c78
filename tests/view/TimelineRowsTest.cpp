// The timeline on the rows that sum many transfers: where the first wipe filled the
// medium's write cache, the extended tests' batch rows, and an access-time range taken
// from the accesses themselves.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "cli/CliRun.h"
#include "support/TempDir.h"
#include "view/TimelineModel.h"
#include "view/TimelineScene.h"

namespace vorn::test {
namespace {

TimelineModel modelOf(const std::string& text) {
    std::istringstream in(text);
    return buildTimeline(in);
}

// A wipe of `rows` rows of 16 MB each, the first `cacheRows` at `fast` bytes/s and the
// rest at `slow`, one row inside the cache at half the slow rate (a pause); and when the
// last cached row ended.
struct Wipe {
    std::string log;
    double cacheEndSec = -1;
    double rowSec = 0;  // the longest row
    uint64_t bytes = 0;
};

Wipe wipeLog(int rows, int cacheRows, double fast, double slow, uint32_t sectorSize = 512,
             double startSec = 0) {
    Wipe w;
    w.log = ",,,,,,,START -\n,,,,,,,WIPE FLASH DEVICE\n";
    const uint64_t sectors = 16'000'000 / sectorSize;
    const double bytes = static_cast<double>(sectors * sectorSize);
    double t = startSec;
    for (int i = 0; i < rows; ++i) {
        const double rate = i == cacheRows / 4 ? slow / 2 : i < cacheRows ? fast : slow;
        const double ms = bytes / rate * 1000;
        char row[160];
        std::snprintf(row, sizeof row, "WIPE,1,YES,%.3f,%.3f,%llu,%llu,%.0f\n", t, ms,
                      static_cast<unsigned long long>(i * sectors),
                      static_cast<unsigned long long>(sectors), rate);
        w.log += row;
        t += ms / 1000 + 0.0001;
        w.rowSec = std::max(w.rowSec, ms / 1000);
        w.bytes += sectors * sectorSize;
        if (i + 1 == cacheRows) {
            w.cacheEndSec = t;
        }
    }
    w.log += ",,,,,,,END -\n,,,,,,,WIPE FLASH DEVICE\n";
    return w;
}

// The marker's label, and whether a line of its colour stands where the label points.
struct Marker {
    std::string label;
    bool line = false;
};

Marker markerOf(const std::vector<SceneItem>& scene) {
    Marker m;
    for (const SceneItem& t : scene) {
        if (t.kind != SceneItem::Text || t.text.rfind("write cache full", 0) != 0) {
            continue;
        }
        m.label = t.text;
        for (const SceneItem& l : scene) {
            m.line = m.line || (l.kind == SceneItem::Line && l.color == t.color && l.x1 == l.x2 &&
                                std::abs(l.x1 - t.x1) < 300);
        }
    }
    return m;
}

TEST(TimelineRows, TheFirstWipesCacheEndIsMarkedWhereItFilled) {
    const Wipe wipe = wipeLog(1000, 200, 180e6, 22e6);
    const TimelineModel model = modelOf(wipe.log);
    ASSERT_TRUE(model.wipeCurve.has_value());
    EXPECT_EQ(model.wipeCurve->writtenBytes, wipe.bytes);
    EXPECT_NEAR(static_cast<double>(model.wipeCurve->cacheBytes), 200 * 16e6, 16e6);
    EXPECT_NEAR(static_cast<double>(model.wipeCurve->cacheRate), 180e6, 180e6 * 0.02);
    EXPECT_NEAR(static_cast<double>(model.wipeCurve->sustainedRate), 22e6, 22e6 * 0.02);
    EXPECT_NEAR(model.cacheEndSec, wipe.cacheEndSec, wipe.rowSec);

    const Marker whole = markerOf(timelineScene(model, 1000, 620, 0, model.endSec));
    EXPECT_EQ(whole.label, "write cache full (3.2 GB)");
    EXPECT_TRUE(whole.line);
    // A view that ends before the cache filled, or starts after, shows no marker.
    EXPECT_EQ(markerOf(timelineScene(model, 1000, 620, 0, wipe.cacheEndSec / 2)).label, "");
    EXPECT_EQ(markerOf(timelineScene(model, 1000, 620, model.cacheEndSec + 1, model.endSec)).label,
              "");
    // Zoomed so the line sits at the right edge: the label stays inside the plot.
    const double from = model.cacheEndSec - 10, to = model.cacheEndSec + 0.01;
    for (const SceneItem& t : timelineScene(model, 1000, 620, from, to)) {
        if (t.kind == SceneItem::Text && t.text.rfind("write cache full", 0) == 0) {
            const PlotArea a = ratePlotArea(1000, 620);
            EXPECT_LE(t.x1 + 7.0 * static_cast<double>(t.text.size()), a.left + a.width);
        }
    }
}

TEST(TimelineRows, NoMarkerWithoutACacheAndOnlyTheFirstWipeCounts) {
    const Wipe uniform = wipeLog(300, 0, 22e6, 22e6);
    TimelineModel model = modelOf(uniform.log);
    ASSERT_TRUE(model.wipeCurve.has_value());
    EXPECT_EQ(model.wipeCurve->cacheBytes, 0u);
    EXPECT_LT(model.cacheEndSec, 0);
    EXPECT_EQ(markerOf(timelineScene(model, 1000, 620, 0, model.endSec)).label, "");

    // A later wipe with a cache is not the first.
    const Wipe later = wipeLog(300, 60, 180e6, 22e6, 512, model.endSec + 1);
    model = modelOf(uniform.log + later.log);
    ASSERT_TRUE(model.wipeCurve.has_value());
    EXPECT_EQ(model.wipeCurve->writtenBytes, uniform.bytes);
    EXPECT_EQ(model.wipeCurve->cacheBytes, 0u);
    EXPECT_LT(model.cacheEndSec, 0);

    // On 4096-byte sectors a row's count stands for eight times the bytes.
    const Wipe large = wipeLog(300, 60, 180e6, 22e6, 4096);
    model = modelOf(large.log);
    ASSERT_TRUE(model.wipeCurve.has_value());
    EXPECT_EQ(model.wipeCurve->writtenBytes, large.bytes);
    EXPECT_NEAR(model.cacheEndSec, large.cacheEndSec, large.rowSec);

    // A log without a wipe has no curve.
    EXPECT_FALSE(modelOf("READ,1,YES,0.1,1.0,0,8,4096000\n").wipeCurve.has_value());
}

// The extended tests keep their later transfers as one row per 100 ms: READS and
// WRITES rows are transfers of their direction, and no access time.
const char* const kBatchLog =
    "Event,Device,Success,Start(sec),Duration(ms),Sector,Count,Bps\n"
    ",,,,,,,START -\n,,,,,,,Read SEQ 1MiB Q8\n"
    "READ,1,YES,0.100,2.000,0,2048,524288000\n"
    "READS,1,YES,0.102,100.000,2048,204800,1048576000\n"
    "READS,1,YES,0.202,100.000,206848,204800,1048576000\n"
    ",,,,,,,END -\n,,,,,,,Read SEQ 1MiB Q8\n"
    ",,,,,,,START -\n,,,,,,,Write RND 4KiB Q32\n"
    "WRITE,1,YES,0.400,0.050,77,8,81920000\n"
    "WRITES,1,YES,0.401,100.000,901,80000,409600000\n"
    ",,,,,,,END -\n,,,,,,,Write RND 4KiB Q32\n"
    ",,,,,,,START -\n,,,,,,,Random Access\n"
    "READ,1,YES,0.600,0.500,7,1,1024000\n"
    "READS,1,YES,0.601,100.000,99,512,2621440\n"
    ",,,,,,,END -\n,,,,,,,Random Access\n";

TEST(TimelineRows, BatchRowsAreTransfersOfTheirDirection) {
    const TimelineModel model = modelOf(kBatchLog);
    ASSERT_EQ(model.points.size(), 7u);
    const struct {
        size_t index;
        bool summed, write;
        double rate;
    } rows[] = {{0, false, false, 524288000},
                {1, true, false, 1048576000},
                {3, false, true, 81920000},
                {4, true, true, 409600000},
                {6, true, false, 2621440}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.index);
        EXPECT_EQ(model.points[r.index].summed, r.summed);
        EXPECT_EQ(model.points[r.index].write, r.write);
        EXPECT_DOUBLE_EQ(model.points[r.index].rate, r.rate);
    }
    EXPECT_EQ(model.steps[model.points[4].step].kind, StepKind::ExtendedWrite);
    EXPECT_NEAR(model.endSec, 0.701, 1e-9);
    EXPECT_TRUE(model.zoneStarts.empty());  // the queued steps have no zones
    // The batch row inside the access test is no 100 ms access.
    EXPECT_DOUBLE_EQ(slowestAccessMs(model), 0.5);
    EXPECT_EQ(accessHistogram(model, 4).random, (std::vector<uint32_t>{0, 0, 0, 1}));
    EXPECT_NE(pointHint(model, 1).find("many reads in one row"), std::string::npos);
    EXPECT_NE(pointHint(model, 4).find("many writes in one row"), std::string::npos);
    EXPECT_EQ(pointHint(model, 3).find("in one row"), std::string::npos);

    TempDir dir;
    dir.write("event.log", kBatchLog);
    const CliRun run = runCli(dir.path().string(), "timeline event.log --out run.svg");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(dir.read("run.svg").find("Extended Read"), std::string::npos);
}

// The access-time ticks of a scene, in ms.
std::vector<double> accessTicks(const TimelineModel& model) {
    std::vector<double> ticks;
    for (const SceneItem& item : timelineScene(model, 1000, 620, 0, model.endSec)) {
        if (item.kind == SceneItem::Text && item.text.ends_with(" ms")) {
            ticks.push_back(std::stod(item.text));
        }
    }
    return ticks;
}

std::string accessLog(const std::vector<double>& times) {
    std::string log = ",,,,,,,START -\n,,,,,,,Random Access\n";
    double t = 0;
    for (double ms : times) {
        log += "READ,1,YES," + std::to_string(t) + "," + std::to_string(ms) + ",7,1,1000000\n";
        t += 0.002;
    }
    return log;
}

TEST(TimelineRows, AccessRangeFollowsTheAccesses) {
    // A coarse clock gives every access the same time: their bar stands inside the
    // range, not at its right edge.
    TimelineModel model = modelOf(accessLog(std::vector<double>(512, 0.25)));
    std::vector<double> ticks = accessTicks(model);
    ASSERT_GE(ticks.size(), 3u);
    EXPECT_GT(ticks.back(), 0.25);
    EXPECT_LE(ticks.back(), 0.5);
    AccessHistogram h = accessHistogram(model, 40, ticks.back());
    EXPECT_EQ(h.random.back(), 0u);
    EXPECT_EQ(h.beyond, 0u);

    // Three stragglers at 50 ms do not stretch the range over a thousand accesses
    // near half a millisecond: they count in the last bar, and the picture says so.
    std::vector<double> times;
    for (int i = 0; i < 1000; ++i) {
        times.push_back(0.4 + 0.0002 * (i % 1000));
    }
    times.insert(times.end(), {50.0, 50.0, 50.0});
    model = modelOf(accessLog(times));
    EXPECT_DOUBLE_EQ(accessPercentileMs(model, 1.0), 50.0);
    EXPECT_DOUBLE_EQ(accessPercentileMs(model, 0.0), 0.4);
    EXPECT_NEAR(accessPercentileMs(model, 0.5), 0.5, 0.001);
    EXPECT_EQ(accessPercentileMs(modelOf(""), 0.5), 0.0);
    ticks = accessTicks(model);
    ASSERT_GE(ticks.size(), 3u);
    EXPECT_GT(ticks.back(), 0.5998);
    EXPECT_LT(ticks.back(), 1.0);
    h = accessHistogram(model, 40, ticks.back());
    EXPECT_EQ(h.beyond, 3u);
    uint32_t counted = 0;
    for (uint32_t n : h.random) {
        counted += n;
    }
    EXPECT_EQ(counted, times.size());                              // the stragglers too
    EXPECT_EQ(h.random[static_cast<size_t>(0.38 / h.binMs)], 0u);  // none faster than 0.4 ms
    bool noted = false;
    for (const SceneItem& item : timelineScene(model, 1000, 620, 0, model.endSec)) {
        noted = noted || item.text == "3 slower, counted in the last bar";
    }
    EXPECT_TRUE(noted);
}

}  // namespace
}  // namespace vorn::test
