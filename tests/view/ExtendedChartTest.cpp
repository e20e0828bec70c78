// The extended charts and figures as the chart window and show present them.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "results/Collections.h"
#include "support/TempDir.h"
#include "view/ChartFiles.h"
#include "view/ChartModel.h"

namespace vorn::test {
namespace {

std::vector<std::string> textsOf(const std::vector<SummaryLine>& lines) {
    std::vector<std::string> texts;
    for (const SummaryLine& line : lines) {
        texts.push_back(line.text);
    }
    return texts;
}

// The rating lines of a run whose extended figures leave out every one they need.
const std::vector<std::string> kRatingsWithoutFigures = {
    "  Ratings (QK Vorn's measurement under its own conditions, not a certification):",
    "  Ratings need the extended tests with the write test: random read IOPS, random write "
    "IOPS and sustained write are missing.",
    "  Link: unknown, so whether it held the rates back cannot be told."};

// Each bar as "test:label", so a bar in the wrong category shows.
std::vector<std::string> placesOf(const std::vector<ExtendedBar>& bars) {
    std::vector<std::string> places;
    for (const ExtendedBar& bar : bars) {
        places.push_back(std::to_string(bar.test) + ":" + bar.label);
    }
    return places;
}

class ExtendedChartTest : public ChartFilesTest {};

TEST_F(ExtendedChartTest, ResultsWithoutTheFiguresOfferNoExtendedCharts) {
    const ChartModel model = build({sampleResult("a", {3000000}, {1000000}), StoredResult{}});
    ASSERT_EQ(model.devices.size(), 2u);
    EXPECT_FALSE(hasExtendedBars(model));
    EXPECT_EQ(model.extendedAxisMax, 0u);
    for (const ChartDevice& device : model.devices) {
        EXPECT_FALSE(device.extended.any());
        EXPECT_TRUE(device.extendedReadBars.empty());
        EXPECT_TRUE(device.extendedWriteBars.empty());
    }
    EXPECT_FALSE(hasExtendedBars(ChartModel{}));
}

// Each device's bars sit in their test's category, gaps left empty, and one axis
// serves all of them.
TEST_F(ExtendedChartTest, FourDrivesSideBySide) {
    const ChartModel model = build({
        extendedSample("all", {45'200'000, 80'000'000, 5'320'000, 12'000'000},
                       {20'000'000, 21'000'000, 300'000, 20'000}),
        extendedSample("writes only", {}, {0, 0, 0, 20'000}),
        sampleResult("none", {3000000}, {1000000}),
        extendedSample("fast", {0, 120'500'000, 0, 9'000'000}, {}),
    });
    ASSERT_EQ(model.devices.size(), 4u);
    EXPECT_TRUE(hasExtendedBars(model));
    EXPECT_EQ(model.extendedAxisMax, 121u);
    // The classic axis knows nothing of the extended bars.
    EXPECT_EQ(model.axisMax, 6u);
    const ChartDevice& all = model.devices[0];
    EXPECT_EQ(placesOf(all.extendedReadBars),
              (std::vector<std::string>{"0:SEQ1M Q1", "1:SEQ1M Q8", "2:RND4K Q1", "3:RND4K Q32"}));
    EXPECT_EQ(placesOf(all.extendedWriteBars), placesOf(all.extendedReadBars));
    EXPECT_FLOAT_EQ(all.extendedReadBars[1].mbps, 80.0f);
    EXPECT_FALSE(all.extendedReadBars[1].random);
    EXPECT_TRUE(all.extendedWriteBars[2].random);
    EXPECT_DOUBLE_EQ(all.extendedWriteBars[2].iops, 73.242);
    EXPECT_EQ(placesOf(model.devices[1].extendedReadBars), std::vector<std::string>{});
    EXPECT_EQ(placesOf(model.devices[1].extendedWriteBars),
              std::vector<std::string>{"3:RND4K Q32"});
    EXPECT_TRUE(model.devices[2].extendedReadBars.empty());
    const ChartDevice& fast = model.devices[3];
    EXPECT_EQ(placesOf(fast.extendedReadBars),
              (std::vector<std::string>{"1:SEQ1M Q8", "3:RND4K Q32"}));
    EXPECT_EQ(extendedBarAt(fast.extendedReadBars, 0), nullptr);
    ASSERT_NE(extendedBarAt(fast.extendedReadBars, 3), nullptr);
    EXPECT_FLOAT_EQ(extendedBarAt(fast.extendedReadBars, 3)->mbps, 9.0f);
    EXPECT_EQ(extendedBarAt(fast.extendedReadBars, 4), nullptr);
    EXPECT_EQ(extendedCategories(),
              (std::vector<std::string>{"SEQ1M Q1", "SEQ1M Q8", "RND4K Q1", "RND4K Q32"}));
}

TEST_F(ExtendedChartTest, SummaryAddsTheFiguresBeforeTheTestTime) {
    const ChartModel model = build({sampleResult("key", {3000000, 5000000}, {1000000, 2000000}),
                                    extendedSample("key", {45'200'000}, {0, 0, 0, 20'000})});
    ASSERT_EQ(model.devices.size(), 2u);
    std::vector<std::string> expected = textsOf(model.devices[0].summary);
    ASSERT_EQ(expected.size(), 6u);
    ASSERT_EQ(expected[4].rfind("  Tested on ", 0), 0u);
    expected.insert(expected.begin() + 4,
                    {"  Read SEQ 1MiB Q1: 45.20 MB/s, latency 23.20 ms median, 46.40 ms p99",
                     "  Write RND 4KiB Q32: 0.02 MB/s, 4.9 IOPS"});
    expected.insert(expected.begin() + 6, kRatingsWithoutFigures.begin(),
                    kRatingsWithoutFigures.end());
    EXPECT_EQ(textsOf(model.devices[1].summary), expected);
    for (size_t i = 1; i < model.devices[1].summary.size(); ++i) {
        EXPECT_FALSE(model.devices[1].summary[i].heading);
    }
}

// The curve is a line of the summary, not a bar: alone it offers no extended charts.
TEST_F(ExtendedChartTest, ASustainedWriteAloneIsALineOfTheSummaryOnly) {
    StoredResult result = sampleResult("key", {3000000}, {1000000});
    result.sustained = "8000000000,0,0,22000000,9800000,0";
    const ChartModel model = build({result});
    ASSERT_EQ(model.devices.size(), 1u);
    EXPECT_TRUE(model.devices[0].extended.any());
    EXPECT_FALSE(hasExtendedBars(model));
    const std::vector<std::string> lines = textsOf(model.devices[0].summary);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[4],
              "  No write cache found: 22 MB/s sustained over the whole medium (slowest 16 MB: "
              "9.8 MB/s)");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.begin() + 8),
              kRatingsWithoutFigures);
    EXPECT_EQ(lines[8].rfind("  Tested on ", 0), 0u);
}

TEST_F(ExtendedChartTest, ADamagedTestIsLeftOutAndTheRestShown) {
    StoredResult result = extendedSample("key", {45'200'000, 80'000'000}, {});
    result.queued[1].second.blockSize = 0;  // a record no run writes
    const ChartModel model = build({result});
    ASSERT_EQ(model.devices.size(), 1u);
    EXPECT_EQ(placesOf(model.devices[0].extendedReadBars), std::vector<std::string>{"0:SEQ1M Q1"});
    EXPECT_EQ(model.extendedAxisMax, 46u);
}

// A run with every figure the ratings need: 4 KiB random at 3,000/5,000 IOPS read and
// `randomWrite` IOPS written one at a time (2,500 queued), and the given curve.
StoredResult ratedSample(const std::string& id, uint64_t randomWrite, const char* curve) {
    StoredResult result = extendedSample(id, {45'000'000, 90'000'000, 3000 * 4096, 5000 * 4096},
                                         {40'000'000, 41'000'000, randomWrite * 4096, 2500 * 4096});
    result.sustained = curve;
    return result;
}

// The summary's lines from the ratings heading on, up to the test time.
std::vector<std::string> ratingsPart(const ChartDevice& device) {
    std::vector<std::string> lines = textsOf(device.summary);
    const auto from = std::find(lines.begin(), lines.end(), kRatingsWithoutFigures[0]);
    const auto to = std::find_if(from, lines.end(), [](const std::string& line) {
        return line.rfind("  Tested on ", 0) == 0;
    });
    return {from, to};
}

// A comparison shows every drive's verdicts in its own part of the summary.
TEST_F(ExtendedChartTest, EachDrivesSummaryCarriesItsOwnVerdicts) {
    StoredResult readsOnly =
        extendedSample("reads", {45'000'000, 90'000'000, 5'320'000, 9'000'000}, {});
    const ChartModel model = build({ratedSample("fast", 900, "64000000000,0,0,35000000,32000000,0"),
                                    ratedSample("slow", 499, "8000000000,0,0,22000000,9800000,0"),
                                    sampleResult("plain", {3000000}, {1000000}), readsOnly});
    ASSERT_EQ(model.devices.size(), 4u);
    const std::string heading = kRatingsWithoutFigures[0];
    const std::string a2 =
        "  A2 cannot be told: it needs a host with command queuing, and the drive's link is "
        "unknown.";
    const std::string link = kRatingsWithoutFigures[2];
    EXPECT_EQ(ratingsPart(model.devices[0]),
              (std::vector<std::string>{heading, "  Meets Class 10, U3, V30, A1.",
                                        "  Not V60: sustained write 32.0 MB/s, V60 needs 60.", a2,
                                        link}));
    EXPECT_EQ(ratingsPart(model.devices[1]),
              (std::vector<std::string>{
                  heading, "  Meets Class 6, V6.",
                  "  Not Class 10: sustained write 9.8 MB/s, Class 10 needs 10.",
                  "  Not U1: sustained write 9.8 MB/s, U1 needs 10.",
                  "  Not V10: sustained write 9.8 MB/s, V10 needs 10.",
                  "  Not A1: sustained write 9.8 MB/s, A1 needs 10; random write 499 IOPS, A1 "
                  "needs 500.",
                  a2, link}));
    EXPECT_TRUE(ratingsPart(model.devices[2]).empty());
    EXPECT_FALSE(model.devices[2].ratings.has_value());
    EXPECT_EQ(ratingsPart(model.devices[3]),
              (std::vector<std::string>{heading,
                                        "  Ratings need the extended tests with the write test: "
                                        "random write IOPS and sustained write are missing.",
                                        link}));
    // The window's whole summary holds them all, in drive order.
    const std::vector<std::string> all = textsOf(summaryLines(model));
    EXPECT_EQ(std::count(all.begin(), all.end(), heading), 3);
}

TEST(ExtendedChart, HintTellsTheRateAndTheIopsOfARandomTest) {
    EXPECT_EQ(extendedHintText({0, "SEQ1M Q1", 45.2f, false, 43.1}), "45.20 MB/s");
    EXPECT_EQ(extendedHintText({2, "RND4K Q1", 5.32f, true, 1298.828}), "5.32 MB/s, 1299 IOPS");
    EXPECT_EQ(extendedHintText({3, "RND4K Q32", 0.02f, true, 4.882}), "0.02 MB/s, 4.9 IOPS");
}

class ShowExtendedTest : public ::testing::Test {
protected:
    CliRun show(const StoredResult& result, const char* options) {
        EXPECT_TRUE(writeResultFile(folder_.file("r.qkc"), result));
        return runCli(folder_.path().string(), std::string("show r.qkc") + options);
    }

    // Without a test time, so the answer does not hang on the time zone.
    static StoredResult untimed(StoredResult result) {
        result.testTime.reset();
        return result;
    }

    TempDir folder_;
};

TEST_F(ShowExtendedTest, JsonHasTheNewKeysOnlyWithTheFigures) {
    const CliRun plain = show(untimed(sampleResult("key", {3000000}, {1000000})), " --json");
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out.find("\"extended\""), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find("\"sustained_write\""), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find("\"ratings\""), std::string::npos) << plain.out;

    const CliRun run = show(
        untimed(extendedSample("key", {45'200'000, 0, 5'320'000}, {0, 0, 0, 20'000})), " --json");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string summary =
        "key\\u000a  Max read speed: 5.00 MB/s\\u000a  Max write speed: 2.00 MB/s\\u000a  Access "
        "(sequential/random): 0.3ms / 1.5ms\\u000a  Read SEQ 1MiB Q1: 45.20 MB/s, latency 23.20 "
        "ms median, 46.40 ms p99\\u000a  Read RND 4KiB Q1: 5.32 MB/s, 1299 IOPS, latency 0.770 ms "
        "median, 1.54 ms p99\\u000a  Write RND 4KiB Q32: 0.02 MB/s, 4.9 IOPS\\u000a" +
        kRatingsWithoutFigures[0] + "\\u000a" + kRatingsWithoutFigures[1] + "\\u000a" +
        kRatingsWithoutFigures[2];
    // The same lines without their indent.
    const std::string text = kRatingsWithoutFigures[0].substr(2) + "\\u000a" +
                             kRatingsWithoutFigures[1].substr(2) + "\\u000a" +
                             kRatingsWithoutFigures[2].substr(2);
    EXPECT_EQ(run.out,
              "{\"axis_max\": 6, \"results\": [{\"drive_id\": \"key\", \"read\": {\"2k\": 3, "
              "\"4k\": 5}, \"write\": {\"2k\": 1, \"4k\": 2}, \"summary\": \"" +
                  summary +
                  "\", \"extended\": {\"Read SEQ 1MiB Q1\": {\"bytes_per_second\": 45200000, "
                  "\"iops\": 43.106, \"latency_ns\": {\"median\": 23198584, \"p99\": 46397168, "
                  "\"p99_9\": 69595752, \"max\": 92794336}}, \"Read RND 4KiB Q1\": "
                  "{\"bytes_per_second\": 5320000, \"iops\": 1298.828, \"latency_ns\": "
                  "{\"median\": 769924, \"p99\": 1539848, \"p99_9\": 2309772, \"max\": "
                  "3079696}}, \"Write RND 4KiB Q32\": {\"bytes_per_second\": 20000, \"iops\": "
                  "4.882}}, \"ratings\": {\"minimum_sustained_write_bytes_per_second\": 0, "
                  "\"random_read_iops\": 1298.828, \"random_write_iops\": 0, "
                  "\"queued_random_read_iops\": 0, \"queued_random_write_iops\": 4.882, "
                  "\"missing\": [\"random read IOPS\", \"random write IOPS\", \"sustained "
                  "write\"], \"verdicts\": [], \"link_known\": false, \"usb\": null, "
                  "\"text\": \"" +
                  text + "\"}}], \"summary\": \"" + summary +
                  "\\u000a\\u000aMB/s = 1,000,000 bytes per second.\\u000aGB = 1,000,000,000 "
                  "bytes.\"}\n");
}

TEST_F(ShowExtendedTest, JsonRatingsHoldTheVerdictsAndTheFiguresTheyCameFrom) {
    const CliRun run =
        show(untimed(ratedSample("key", 499, "64000000000,0,0,35000000,32000000,0")), " --json");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const size_t at = run.out.find(", \"ratings\": {");
    ASSERT_NE(at, std::string::npos) << run.out;
    // After every other key of the result.
    EXPECT_LT(run.out.find("\"sustained_write\": {"), at);
    const std::string ratings = run.out.substr(at);
    for (const char* part :
         {"{\"minimum_sustained_write_bytes_per_second\": 32000000, \"random_read_iops\": 3000, "
          "\"random_write_iops\": 499, \"queued_random_read_iops\": 5000, "
          "\"queued_random_write_iops\": 2500, \"verdicts\": [{\"rating\": \"Class 2\", "
          "\"meets\": true}, ",
          "{\"rating\": \"V60\", \"meets\": false, \"why\": \"sustained write 32.0 MB/s, V60 "
          "needs 60\"}, ",
          "{\"rating\": \"A1\", \"meets\": false, \"why\": \"random write 499 IOPS, A1 needs "
          "500\"}, {\"rating\": \"A2\", \"meets\": null, \"why\": \"it needs a host with "
          "command queuing, and the drive's link is unknown\"}], \"link_known\": false, "
          "\"usb\": null, \"text\": \"Ratings (QK Vorn's measurement under its own conditions, "
          "not a certification):\\u000aMeets Class 10, U3, V30.\\u000a"}) {
        EXPECT_NE(ratings.find(part), std::string::npos) << part << "\n" << ratings;
    }
    EXPECT_EQ(ratings.find("\"missing\""), std::string::npos) << ratings;
    EXPECT_EQ(ratings.find("\"card_claims\""), std::string::npos) << ratings;
}

TEST_F(ShowExtendedTest, SustainedWriteAloneAddsItsKeyAndItsLine) {
    StoredResult result = untimed(sampleResult("key", {3000000}, {1000000}));
    result.sustained = "64000000000,3200000000,180000000,22000000,9800000,123456789";
    const CliRun run = show(result, " --json");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("\"extended\""), std::string::npos) << run.out;
    const std::string line =
        "  Write cache: about 3.2 GB at 180 MB/s, then 22 MB/s sustained (slowest 16 MB: 9.8 "
        "MB/s)";
    EXPECT_NE(run.out.find("\"summary\": \"key\\u000a  Max read speed: 3.00 MB/s\\u000a  Max "
                           "write speed: 1.00 MB/s\\u000a  Access (sequential/random): 0.3ms / "
                           "1.5ms\\u000a" +
                           line + "\\u000a" + kRatingsWithoutFigures[0] + "\\u000a" +
                           kRatingsWithoutFigures[1] + "\\u000a" + kRatingsWithoutFigures[2] +
                           "\", \"sustained_write\": {\"written_bytes\": 64000000000, "
                           "\"cache_bytes\": 3200000000, \"cache_bytes_per_second\": "
                           "180000000, \"sustained_bytes_per_second\": 22000000, "
                           "\"slowest_bytes_per_second\": 9800000, \"slowest_offset\": "
                           "123456789, \"text\": \"" +
                           line.substr(2) + "\"}, \"ratings\": {"),
              std::string::npos)
        << run.out;
    // No extended bars: the text has no extended charts either.
    const CliRun text = show(result, "");
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out.find("Extended"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("\n" + line + "\n"), std::string::npos) << text.out;
}

TEST_F(ShowExtendedTest, TextPrintsTheExtendedChartsAfterTheRest) {
    const CliRun plain = show(untimed(sampleResult("key", {3000000}, {1000000})), "");
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out.find("Extended"), std::string::npos) << plain.out;

    const CliRun run = show(untimed(extendedSample("key", {45'200'000, 0, 5'320'000}, {})), "");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string tail =
        "GB = 1,000,000,000 bytes.\n\n"
        "Extended Read (higher is better)\n"
        "  SEQ1M Q1       45.20 MB/s\n"
        "  RND4K Q1        5.32 MB/s  1299 IOPS\n"
        "Extended Write (higher is better)\n"
        "  (no bars)\n"
        "Extended axis maximum: 46 MB/s\n";
    ASSERT_GE(run.out.size(), tail.size());
    EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail) << run.out;
    EXPECT_EQ(run.out.rfind("Read Speed (higher is better)\n  2k ", 0), 0u) << run.out;
}

}  // namespace
}  // namespace vorn::test
