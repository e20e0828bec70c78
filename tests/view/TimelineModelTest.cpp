// The timeline model and its picture on known event logs: steps from the notes,
// zones where a test moves on, failures, the row limit, the access-time distribution,
// and the terminal's SVG and PNG files.

#include "view/TimelineModel.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliRun.h"
#include "support/TempDir.h"
#include "view/TimelineScene.h"

namespace vorn::test {
namespace {

// A small run: a flash check over two zones, a wipe row, a failed write, the access
// tests, and a row that is none of these.
const char* const kLog =
    "Performance frequency for this machine is 1000000000\n"
    "Event,Device,Success,Start(sec),Duration(ms),Sector,Count,Bps\n"
    ",,,,,,,START -\n,,,,,,,Flash test:read\n"
    "READ,1,YES,0.100,1.000,0,128,65536000\n"
    "READ,1,YES,0.101,1.000,128,128,65536000\n"
    "READ,1,YES,0.200,2.000,90000,128,32768000\n"
    "READ,1,YES,0.202,2.000,90128,128,32768000\n"
    ",,,,,,,END -\n,,,,,,,Flash test:read\n"
    ",,,,,,,START -\n,,,,,,,WIPE FLASH DEVICE\n"
    "WIPE,1,YES,0.300,100.000,0,32768,167772160\n"
    ",,,,,,,END -\n,,,,,,,WIPE FLASH DEVICE\n"
    ",,,,,,,START -\n,,,,,,,Write Test (4k block)\n"
    "WRITE,1,YES,0.500,0.100,128,8,40960000\n"
    "FLUSH,1,YES,0.501,0.500,0,0,0\n"
    "WRITE,129,NO,0.502,0.100,136,8,0\n"
    ",,,,,,,TEST ERROR 5\n"
    ",,,,,,,END -\n,,,,,,,Write Test (4k block)\n"
    ",,,,,,,START -\n,,,,,,,Random Access\n"
    "READ,1,YES,0.600,0.500,7,1,1024000\n"
    "READ,1,YES,0.601,1.000,99,1,512000\n"
    ",,,,,,,END -\n,,,,,,,Random Access\n"
    ",,,,,,,START -\n,,,,,,,Sequential Access\n"
    "READ,1,YES,0.700,0.250,1,1,2048000\n"
    ",,,,,,,END -\n,,,,,,,Sequential Access\n"
    "garbage,row\n";

TimelineModel modelOf(const std::string& text, size_t limit = kTimelineRowLimit) {
    std::istringstream in(text);
    return buildTimeline(in, limit);
}

// Steps are known by the names the run writes; a name no run writes (a newer
// version's test, a hand-edited log) is drawn as "other", never guessed from its words.
TEST(TimelineModel, StepsAreKnownByTheRunsNames) {
    const TimelineModel model = modelOf(
        ",,,,,,,START -\n,,,,,,,CAPACITY CHECK\nWRITE,1,YES,0.1,1.0,0,8,4096000\n"
        ",,,,,,,END -\n,,,,,,,CAPACITY CHECK\n"
        ",,,,,,,START -\n,,,,,,,Read Test (128k block)\nREAD,1,YES,0.2,1.0,0,8,4096000\n"
        ",,,,,,,END -\n,,,,,,,Read Test (128k block)\n"
        ",,,,,,,START -\n,,,,,,,Read Test (2k block)\nREAD,1,YES,0.3,1.0,0,4,2048000\n");
    ASSERT_EQ(model.steps.size(), 4u);
    EXPECT_EQ(model.steps[1].kind, StepKind::Capacity);
    EXPECT_EQ(model.steps[2].kind, StepKind::Other);
    EXPECT_EQ(model.steps[3].kind, StepKind::Read);
    EXPECT_STREQ(stepCaption(StepKind::Capacity), "Checking Real Capacity");
    EXPECT_NE(stepColor(StepKind::Capacity, 0), stepColor(StepKind::Other, 0));
    // The smallest block gets the lightest shade, the largest the base colour.
    EXPECT_EQ(model.steps[3].color, stepColor(StepKind::Read, readTests.front().blockSize));
    EXPECT_EQ(stepColor(StepKind::Read, readTests.back().blockSize), 0x1F4E9Au);
    // The queued tests are told apart from the zoned ones in colour and legend.
    const TimelineModel queued =
        modelOf(",,,,,,,START -\n,,,,,,,Read SEQ 1MiB Q8\nREAD,1,YES,0.1,1.0,0,2048,1048576000\n");
    ASSERT_EQ(queued.steps.size(), 2u);
    EXPECT_EQ(queued.steps[1].kind, StepKind::ExtendedRead);
    EXPECT_NE(queued.steps[1].color, stepColor(StepKind::Read, kSeqBlock));
    EXPECT_NE(stepColor(StepKind::ExtendedRead, 0), stepColor(StepKind::ExtendedWrite, 0));
    EXPECT_STRNE(stepCaption(StepKind::ExtendedWrite), stepCaption(StepKind::Other));
}

// The access-time axis reads 0, 0.2, 0.4 ... not 0.0279, 0.0558 ...: its ticks are 1, 2
// or 5 times a power of ten and the last one lies above the slowest access; the bars
// have a count scale; steps are named as the progress window names them.
TEST(TimelineModel, AxesReadAtAGlance) {
    const TimelineModel model = modelOf(kLog);
    ASSERT_DOUBLE_EQ(slowestAccessMs(model), 1.0);
    std::vector<double> ticks;
    bool countScale = false, hint = false, flashLabel = false;
    for (const SceneItem& item : timelineScene(model, 1000, 620, 0, model.endSec)) {
        if (item.kind != SceneItem::Text) {
            continue;
        }
        if (item.text.ends_with(" ms")) {
            ticks.push_back(std::stod(item.text));
        }
        countScale = countScale || item.text == "1";
        hint = hint || item.text.find("wheel: zoom") != std::string::npos;
        flashLabel = flashLabel || item.text == "Testing Flash Device";
    }
    ASSERT_EQ(ticks.size(), 7u);  // 0 to 1.2 ms: the 1 ms access inside, not on the edge
    for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_NEAR(ticks[i], 0.2 * static_cast<double>(i), 1e-9);
    }
    EXPECT_TRUE(countScale);  // the fullest bin holds one access
    EXPECT_TRUE(hint);
    EXPECT_TRUE(flashLabel);
    // Bins cover the round range: the 1 ms access falls in the last of forty.
    const AccessHistogram h = accessHistogram(model, 40, 1.0);
    EXPECT_DOUBLE_EQ(h.binMs, 0.025);
    EXPECT_EQ(h.random.back(), 1u);
    EXPECT_NE(pointHint(model, 0).find("Testing Flash Device"), std::string::npos);
    EXPECT_TRUE(modelOf(kLog).endedEarly);  // its write test ended with TEST ERROR 5
}

TEST(TimelineModel, StepsZonesFailuresAndAccessTimesFromTheLog) {
    const TimelineModel model = modelOf(kLog);
    ASSERT_EQ(model.points.size(), 11u);
    ASSERT_EQ(model.steps.size(), 6u);  // the time outside any step, and five steps
    const StepKind kinds[] = {StepKind::Other, StepKind::FlashCheck,   StepKind::Wipe,
                              StepKind::Write, StepKind::RandomAccess, StepKind::SequentialAccess};
    for (size_t i = 0; i < model.steps.size(); ++i) {
        EXPECT_EQ(model.steps[i].kind, kinds[i]) << i;
    }
    EXPECT_EQ(model.steps[3].name, "Write Test (4k block)");
    EXPECT_EQ(model.points[0].step, 1u);
    EXPECT_EQ(model.points[4].step, 2u);  // the wipe row
    EXPECT_DOUBLE_EQ(model.points[4].rate, 167772160.0);
    EXPECT_TRUE(model.points[7].failed);
    EXPECT_EQ(model.points[7].rate, 0.0);
    // The flash check jumps from sector 256 to 90000: its second zone.
    EXPECT_EQ(model.zoneStarts, std::vector<double>{0.2});
    EXPECT_NEAR(model.endSec, 0.70025, 1e-9);
    EXPECT_FALSE(model.logTruncated || model.rowLimitReached);
    // Read and write tests of other block sizes get lighter or darker shades.
    EXPECT_NE(stepColor(StepKind::Read, 2048), stepColor(StepKind::Read, 65536));
    EXPECT_NE(stepColor(StepKind::Read, 65536), stepColor(StepKind::Write, 65536));

    const AccessHistogram h = accessHistogram(model, 4);
    EXPECT_DOUBLE_EQ(h.binMs, 0.25);  // the slowest access, 1 ms, over four bins
    EXPECT_EQ(h.random, (std::vector<uint32_t>{0, 0, 1, 1}));
    EXPECT_EQ(h.sequential, (std::vector<uint32_t>{0, 1, 0, 0}));
}

TEST(TimelineModel, RowLimitTruncationAndAnEmptyLog) {
    const TimelineModel limited = modelOf(kLog, 3);
    EXPECT_EQ(limited.points.size(), 3u);
    EXPECT_TRUE(limited.rowLimitReached);
    const TimelineModel truncated = modelOf(std::string("** Log has been truncated!\n") + kLog);
    EXPECT_TRUE(truncated.logTruncated);
    const TimelineModel empty = modelOf("Event,Device\nnot a log\n");
    EXPECT_TRUE(empty.points.empty());
    EXPECT_TRUE(accessHistogram(empty).random.empty());
    // A picture of nothing still draws its axes and says there are no access tests.
    const std::vector<SceneItem> scene = timelineScene(empty, 800, 500, 0, 0);
    EXPECT_NE(sceneSvg(scene, 800, 500).find("no access tests in this log"), std::string::npos);
}

// 100,000 transfers make a picture whose size follows its pixels, not its rows, and
// the hint finds the transfer under the pointer.
TEST(TimelineModel, LargeLogsDrawPerPixelColumnAndHintTheNearestTransfer) {
    std::string log = ",,,,,,,START -\n,,,,,,,Read Test (64k block)\n";
    for (int i = 0; i < 100000; ++i) {
        log += "READ,1,YES," + std::to_string(i * 0.0001) + ",0.100," + std::to_string(i * 128) +
               ",128,6553600" + std::to_string(i % 10) + "\n";
    }
    const TimelineModel model = modelOf(log);
    ASSERT_EQ(model.points.size(), 100000u);
    const std::vector<SceneItem> scene = timelineScene(model, 1000, 600, 0, model.endSec);
    EXPECT_LT(scene.size(), 3000u);
    const PlotArea area = ratePlotArea(1000, 600);
    const double y = area.top + area.height - 65536000.0 / (model.scaleRate * 1.1) * area.height;
    const long near = pointNear(model, 1000, 600, 0, model.endSec, area.left, y);
    ASSERT_GE(near, 0);
    EXPECT_LT(near, 20);
    EXPECT_NE(pointHint(model, static_cast<size_t>(near)).find("Read Test (64k block)"),
              std::string::npos);
}

TEST(TimelineCommand, WritesValidSvgAndPngAndRefusesWhatItCannotDraw) {
    TempDir dir;
    dir.write("event.log", kLog);
    dir.write("empty.log", "nothing\n");
    EXPECT_EQ(runCli(dir.path().string(), "timeline event.log --out run.svg").exitCode, 0);
    const std::string svg = dir.read("run.svg");
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("Random Access Test"), std::string::npos);
    // Well formed as XML: Python's parser reads the whole document.
    EXPECT_EQ(std::system(("python3 -c \"import xml.etree.ElementTree as e; "
                           "assert e.parse('" +
                           dir.file("run.svg") + "').getroot().tag.endswith('svg')\"")
                              .c_str()),
              0);
    const CliRun png =
        runCli(dir.path().string(), "timeline event.log --out run.png --width 640 --height 400");
    if (png.err.find("no PNG renderer") == std::string::npos) {
        ASSERT_EQ(png.exitCode, 0) << png.err;
        const std::string bytes = dir.read("run.png");
        ASSERT_GT(bytes.size(), 24u);
        EXPECT_EQ(bytes.substr(1, 3), "PNG");
        EXPECT_EQ(bytes.substr(16, 8), std::string("\0\0\x02\x80\0\0\x01\x90", 8));  // 640 x 400
    }
    for (const char* bad : {"timeline event.log --out run.gif", "timeline event.log",
                            "timeline empty.log --out e.svg", "timeline /dev/null --out n.svg",
                            "timeline event.log --out x.svg --width 10"}) {
        const CliRun run = runCli(dir.path().string(), bad);
        EXPECT_NE(run.exitCode, 0) << bad;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << bad << ": " << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("e.svg")));
}

}  // namespace
}  // namespace vorn::test
