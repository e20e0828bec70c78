#include "view/ChartModel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "results/RunSteps.h"
#include "support/TempDir.h"
#include "view/ChartFiles.h"

namespace vorn::test {
namespace {

std::vector<std::string> labelsOf(const std::vector<ChartBar>& bars) {
    std::vector<std::string> labels;
    for (const ChartBar& bar : bars) {
        labels.push_back(bar.label);
    }
    return labels;
}

std::vector<std::string> textsOf(const std::vector<SummaryLine>& lines) {
    std::vector<std::string> texts;
    for (const SummaryLine& line : lines) {
        texts.push_back(line.text);
    }
    return texts;
}

bool hasLineStartingWith(const ChartDevice& device, const std::string& start) {
    for (const SummaryLine& line : device.summary) {
        if (line.text.rfind(start, 0) == 0) {
            return true;
        }
    }
    return false;
}

// Writes each result to a file, opens them all and builds the model.
class ChartModelTest : public ChartFilesTest {};

TEST_F(ChartModelTest, AxisMaximumIsTheLargestBarOfBothChartsRoundedUp) {
    struct Case {
        const char* name;
        std::vector<uint32_t> read, write;
        uint32_t axisMax;
    };
    const Case cases[] = {
        {"largest 19.5", {12000000, 19500000, 3000000}, {}, 20},
        {"exactly 7.0", {7000000, 6999999}, {}, 8},
        {"write chart holds the largest", {5000000}, {2000000, 12300000}, 13},
        {"a bar of 0 MB/s", {0}, {}, 1},
        {"no bars", {}, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoredResult result;
        result.tests = tableTests(readTests, c.read);
        for (const StoredTest& test : tableTests(writeTests, c.write)) {
            result.tests.push_back(test);
        }
        EXPECT_EQ(build({result}).axisMax, c.axisMax);
    }
}

TEST_F(ChartModelTest, ReadChartStopsAtAGapWhileWriteChartSkipsIt) {
    StoredResult result;
    result.tests = {{"QKCR2", 3000000},  {"QKCR4", 5000000},  {"QKCR16", 9000000},
                    {"QKCW2", 1000000},  {"QKCW4", 2000000},  {"QKCW16", 4000000},
                    {"QKCW64", 3500000}, {"QKCR32", 8000000}, {"QKCR64", 8000000}};
    const ChartDevice device = buildOne(result);
    EXPECT_EQ(labelsOf(device.readBars), (std::vector<std::string>{"2k", "4k"}));
    EXPECT_EQ(labelsOf(device.writeBars), (std::vector<std::string>{"2k", "4k", "16k", "64k"}));
    ASSERT_EQ(device.writeBars.size(), 4u);
    EXPECT_EQ(device.writeBars[2].blockSize, 16384u);
    EXPECT_FLOAT_EQ(device.writeBars[2].mbps, 4.0f);
    // The summary's maximum looks past the gap, as the write chart does.
    EXPECT_FLOAT_EQ(device.maxRead, 9.0f);
    EXPECT_FLOAT_EQ(device.maxWrite, 4.0f);
    EXPECT_TRUE(hasLineStartingWith(device, "  Max read speed: 9.00 MB/s"));
}

// Of a test with three zones only the first counts.
TEST_F(ChartModelTest, AStoredTestWithoutZonesEndsTheBarsAndTheMaximum) {
    StoredResult result;
    result.tests = {{"QKCR2", 3000000, 3}, {"QKCR4", 2000000, 0}, {"QKCR8", 9000000},
                    {"QKCW2", 1000000},    {"QKCW4", 6000000},    {"QKCW8", 2000000, 0},
                    {"QKCW16", 90000000},  {"QKCW32", 1000000}};
    const ChartDevice device = buildOne(result);
    EXPECT_EQ(labelsOf(device.readBars), (std::vector<std::string>{"2k"}));
    EXPECT_EQ(labelsOf(device.writeBars), (std::vector<std::string>{"2k", "4k"}));
    EXPECT_FLOAT_EQ(device.readBars[0].mbps, 3.0f);
    EXPECT_FLOAT_EQ(device.maxRead, 3.0f);
    EXPECT_FLOAT_EQ(device.maxWrite, 6.0f);
}

TEST_F(ChartModelTest, SummaryOfACompleteResult) {
    StoredResult result;
    result.driveId = "F: Generic USB Key 1.00 (1.0 GB)";
    result.tests =
        tableTests(readTests, {5123456, 7000000, 10000000, 12345678, 13000000, 12990000});
    for (const StoredTest& test :
         tableTests(writeTests, {1000000, 2000000, 3000000, 4000000, 4500000, 4440000})) {
        result.tests.push_back(test);
    }
    result.randomHundredths = 152;
    result.sequentialHundredths = 30;
    const ChartModel model = build({result});
    const std::vector<SummaryLine> lines = summaryLines(model);
    EXPECT_EQ(summaryText(lines),
              "F: Generic USB Key 1.00 (1.0 GB)\n"
              "  Max read speed: 13.00 MB/s\n"
              "  Max write speed: 4.50 MB/s\n"
              "  Access (sequential/random): 0.3ms / 1.5ms\n"
              "\n"
              "MB/s = 1,000,000 bytes per second.\n"
              "GB = 1,000,000,000 bytes.");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines[0].heading);
    EXPECT_EQ(lines[0].colour, 0x0000FFu);
    for (size_t i = 1; i < lines.size(); ++i) {
        EXPECT_FALSE(lines[i].heading) << lines[i].text;
    }
    EXPECT_EQ(model.axisMax, 14u);
}

TEST_F(ChartModelTest, MissingEntriesGiveNeutralLines) {
    struct Case {
        const char* name;
        StoredResult result;
        std::vector<std::string> lines;
    };
    StoredResult noWrite;
    noWrite.tests = tableTests(readTests, {2500000});
    noWrite.sequentialHundredths = 47;
    StoredResult bare;
    bare.driveId.reset();
    StoredResult randomOnly;
    randomOnly.randomHundredths = 274;
    StoredResult longId;
    longId.driveId = std::string(300, 'x');
    const Case cases[] = {
        {"no write results",
         noWrite,
         {"USB Flash Disk 1.00", "  Max read speed: 2.50 MB/s",
          "  Access (sequential/random): 0.5ms / 0.0ms", ""}},
        {"nothing stored at all", bare, {"", "  Access (sequential/random): 0.0ms / 0.0ms", ""}},
        {"random access only",
         randomOnly,
         {"USB Flash Disk 1.00", "  Access (sequential/random): 0.0ms / 2.7ms", ""}},
        {"identification cut at 254 characters",
         longId,
         {std::string(254, 'x'), "  Access (sequential/random): 0.0ms / 0.0ms", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(textsOf(buildOne(c.result).summary), c.lines);
    }
}

// Sets TZ for one test and puts the old value back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (old_) {
            setenv("TZ", old_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> old_;
};

TEST_F(ChartModelTest, TestTimeIsShownInLocalTime) {
    struct Case {
        const char* zone;
        std::optional<int32_t> time;
        const char* line;  // nullptr: no "Tested on" line
    };
    const Case cases[] = {
        {"UTC0", 1205531250, "  Tested on 2008-03-14 at 21:47"},
        {"JST-9", 1205531250, "  Tested on 2008-03-15 at 06:47"},
        {"EST5EDT,M3.2.0,M11.1.0", 1205531250, "  Tested on 2008-03-14 at 17:47"},
        {"UTC0", 0, "  Tested on 1970-01-01 at 00:00"},
        {"UTC0", std::nullopt, nullptr},
        {"UTC0", -86400, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + (c.time ? std::to_string(*c.time) : "absent"));
        ScopedTimeZone zone(c.zone);
        StoredResult result;
        result.testTime = c.time;
        const std::vector<std::string> lines = textsOf(buildOne(result).summary);
        ASSERT_EQ(lines.size(), c.line ? 4u : 3u);
        if (c.line) {
            EXPECT_EQ(lines[2], c.line);
        }
        EXPECT_EQ(lines.back(), "");
    }
}

TEST_F(ChartModelTest, FourResultsTakeTheDeviceColoursAndAFifthIsIgnored) {
    std::vector<StoredResult> results(5);
    for (size_t i = 0; i < results.size(); ++i) {
        results[i].driveId = "drive " + std::to_string(i);
        results[i].tests = tableTests(readTests, {static_cast<uint32_t>((i + 1) * 10000000)});
    }
    const ChartModel model = build(results);
    ASSERT_EQ(model.devices.size(), 4u);
    const uint32_t rgb[] = {0xFF0000, 0x0000FF, 0x008000, 0x008080};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(model.devices[i].driveId, "drive " + std::to_string(i));
        EXPECT_EQ(model.devices[i].colour, driveColours[i]);
        EXPECT_EQ(model.devices[i].rgb, rgb[i]);
        EXPECT_EQ(model.devices[i].summary[0].colour, driveColours[i]);
    }
    EXPECT_EQ(model.axisMax, 41u);
}

TEST(ShowCommandTest, JsonOfAKnownResultAndAFileThatDoesNotOpen) {
    TempDir folder;
    StoredResult result;
    result.driveId = "Key \"A\"";
    result.tests = {{"QKCR2", 19500000}, {"QKCR4", 7000000}, {"QKCW2", 1250000}};
    result.randomHundredths = 100;
    ASSERT_TRUE(writeResultFile(folder.file("known.qkc"), result));

    const CliRun run = runCli(folder.path().string(), "show known.qkc --json");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "{\"axis_max\": 20, \"results\": [{\"drive_id\": \"Key \\\"A\\\"\", "
              "\"read\": {\"2k\": 19.5, \"4k\": 7}, \"write\": {\"2k\": 1.25}, "
              "\"summary\": \"Key \\\"A\\\"\\u000a  Max read speed: 19.50 MB/s\\u000a"
              "  Max write speed: 1.25 MB/s\\u000a  Access (sequential/random): 0.0ms / 1.0ms\"}], "
              "\"summary\": \"Key \\\"A\\\"\\u000a  Max read speed: 19.50 MB/s\\u000a"
              "  Max write speed: 1.25 MB/s\\u000a  Access (sequential/random): 0.0ms / "
              "1.0ms\\u000a\\u000a"
              "MB/s = 1,000,000 bytes per second.\\u000aGB = 1,000,000,000 bytes.\"}\n");

    const CliRun missing = runCli(folder.path().string(), "show absent.qkc --json");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out.rfind("{\"error\": \"", 0), 0u) << missing.out;

    const CliRun text = runCli(folder.path().string(), "show absent.qkc");
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_EQ(std::count(text.err.begin(), text.err.end(), '\n'), 1) << text.err;
}

}  // namespace
}  // namespace vorn::test
