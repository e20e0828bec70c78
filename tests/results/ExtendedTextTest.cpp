// The extended figures in words: the lines, the report's blocks, the selection
// window's information and a library member that carries them.

#include "results/ExtendedText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "results/BenchmarkEntries.h"
#include "results/Collections.h"
#include "results/LibraryWriter.h"
#include "results/SaveResult.h"
#include "support/TempDir.h"
#include "view/ChartResults.h"

namespace vorn::test {
namespace {

// Figures of the extended tests at the given rates (0 leaves a test out).
ExtendedFigures figuresAt(const std::vector<uint64_t>& read, const std::vector<uint64_t>& write) {
    ExtendedFigures figures;
    for (size_t i = 0; i < read.size(); ++i) {
        if (read[i] != 0) {
            figures.reads[i] = queuedRecord(extendedReads[i], read[i]);
        }
    }
    for (size_t i = 0; i < write.size(); ++i) {
        if (write[i] != 0) {
            figures.writes[i] = queuedRecord(extendedWrites[i], write[i]);
        }
    }
    return figures;
}

const WriteCurve kCurve{64'000'000'000, 3'200'000'000, 180'000'000,
                        22'000'000,     9'800'000,     123456789};

TEST(ExtendedText, LabelsAndLinesOfEachKindOfTest) {
    std::vector<std::string> labels;
    for (const RunStep& row : extendedWrites) {
        labels.push_back(extendedLabel(row));
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"SEQ1M Q1", "SEQ1M Q8", "RND4K Q1", "RND4K Q32"}));
    EXPECT_EQ(extendedLabel(extendedReads[3]), "RND4K Q32");

    const struct {
        const RunStep& row;
        uint64_t rate;
        const char* line;
    } cases[] = {
        // Latency at depth 1 only; IOPS for the random tests only.
        {extendedReads[0], 45'200'000,
         "Read SEQ 1MiB Q1: 45.20 MB/s, latency 23.20 ms median, 46.40 ms p99"},
        {extendedReads[1], 80'000'000, "Read SEQ 1MiB Q8: 80.00 MB/s"},
        // A latency under a millisecond keeps a third place.
        {extendedReads[2], 5'320'000,
         "Read RND 4KiB Q1: 5.32 MB/s, 1299 IOPS, latency 0.770 ms median, 1.54 ms p99"},
        // A few transfers a second keep a tenth.
        {extendedWrites[3], 20'000, "Write RND 4KiB Q32: 0.02 MB/s, 4.9 IOPS"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(queuedTestText(c.row, queuedRecord(c.row, c.rate)), c.line);
    }
    EXPECT_DOUBLE_EQ(iopsOf(queuedRecord(extendedReads[2], 5'320'000)), 1298.828);
}

TEST(ExtendedText, LinesInTableOrderWithOnlyTheFiguresPresent) {
    EXPECT_EQ(extendedLines(ExtendedFigures{}), std::vector<std::string>{});
    const std::vector<std::string> lines =
        extendedLines(figuresAt({0, 80'000'000}, {0, 0, 0, 20'000}));
    EXPECT_EQ(lines, (std::vector<std::string>{"Read SEQ 1MiB Q8: 80.00 MB/s",
                                               "Write RND 4KiB Q32: 0.02 MB/s, 4.9 IOPS"}));

    ExtendedFigures withCurve = figuresAt({45'200'000}, {});
    withCurve.sustained = kCurve;
    const std::vector<std::string> curveLines = extendedLines(withCurve);
    EXPECT_EQ(curveLines,
              (std::vector<std::string>{
                  "Read SEQ 1MiB Q1: 45.20 MB/s, latency 23.20 ms median, 46.40 ms p99",
                  "Write cache: about 3.2 GB at 180 MB/s, then 22 MB/s sustained (slowest 16 MB: "
                  "9.8 MB/s)"}));
}

TEST(ExtendedText, ReportBlocksHoldTheStoredNumbers) {
    EXPECT_EQ(extendedReport(ExtendedFigures{}), "");
    const std::string header =
        "EXTENDED TESTS\nTEST,BLOCK,QUEUE DEPTH,TRANSFERS,BYTES,MEASURED NS,BYTES PER SECOND,"
        "IOPS,MEDIAN NS,P99 NS,P99.9 NS,MAX NS\n";
    EXPECT_EQ(extendedReport(figuresAt({45'200'000}, {0, 0, 0, 20'000})),
              header +
                  "Read SEQ 1MiB Q1,1048576,1,215,226000000,5000000000,45200000,43.106,23198584,"
                  "46397168,69595752,92794336\n"
                  "Write RND 4KiB Q32,4096,32,24,100000,5000000000,20000,4.882,,,,\n\n\n\n");

    ExtendedFigures curveOnly;
    curveOnly.sustained = kCurve;
    const std::string curveBlock =
        "SUSTAINED WRITE\nWRITTEN,CACHE BYTES,CACHE RATE,SUSTAINED RATE,SLOWEST RATE,SLOWEST "
        "OFFSET\n64000000000,3200000000,180000000,22000000,9800000,123456789\n\n\n\n";
    EXPECT_EQ(extendedReport(curveOnly), curveBlock);
    ExtendedFigures both = figuresAt({0, 80'000'000}, {});
    both.sustained = kCurve;
    EXPECT_EQ(extendedReport(both),
              header + "Read SEQ 1MiB Q8,1048576,8,381,400000000,5000000000,80000000,76.293,,,,\n" +
                  "\n\n\n" + curveBlock);
}

class ExtendedResultTest : public ::testing::Test {
protected:
    std::string write(const std::string& name, const StoredResult& result) {
        const std::string path = folder_.file(name);
        EXPECT_TRUE(writeResultFile(path, result));
        return path;
    }
    std::string reportOf(const std::string& path) {
        auto file = openCollection(path.c_str());
        EXPECT_NE(file, nullptr);
        return file ? statisticsReport(*file, "device") : std::string();
    }

    TempDir folder_;
    const StoredResult plain_ = sampleResult("key", {3000000, 5000000}, {1000000, 2000000});
    // Extended tests and the sustained write, as a run with both stores them.
    static StoredResult withCurve(StoredResult result) {
        result.sustained = "64000000000,3200000000,180000000,22000000,9800000,123456789";
        return result;
    }
    const StoredResult extended_ =
        withCurve(extendedSample("key", {45'200'000}, {0, 0, 0, 20'000}));
};

// The ratings of a run whose extended figures leave out every one they need.
const std::string kRatingsWithoutFigures =
    "Ratings (QK Vorn's measurement under its own conditions, not a certification):\n"
    "Ratings need the extended tests with the write test: random read IOPS, random write IOPS "
    "and sustained write are missing.\n"
    "Link: unknown, so whether it held the rates back cannot be told.\n";

const char* const kCurveLine =
    "Write cache: about 3.2 GB at 180 MB/s, then 22 MB/s sustained (slowest 16 MB: 9.8 MB/s)";

// The report of a result with the figures is the report without them, then their
// blocks; the terminal prints the same.
TEST_F(ExtendedResultTest, TheReportEndsWithTheExtendedBlocks) {
    const std::string plain = reportOf(write("plain.qkc", plain_));
    const std::string extended = reportOf(write("extended.qkc", extended_));
    EXPECT_EQ(plain.find("EXTENDED"), std::string::npos);
    EXPECT_EQ(extended,
              plain +
                  "EXTENDED TESTS\nTEST,BLOCK,QUEUE DEPTH,TRANSFERS,BYTES,MEASURED NS,BYTES "
                  "PER SECOND,IOPS,MEDIAN NS,P99 NS,P99.9 NS,MAX NS\n"
                  "Read SEQ 1MiB Q1,1048576,1,215,226000000,5000000000,45200000,43.106,"
                  "23198584,46397168,69595752,92794336\n"
                  "Write RND 4KiB Q32,4096,32,24,100000,5000000000,20000,4.882,,,,\n\n\n\n"
                  "SUSTAINED WRITE\nWRITTEN,CACHE BYTES,CACHE RATE,SUSTAINED RATE,SLOWEST "
                  "RATE,SLOWEST OFFSET\n64000000000,3200000000,180000000,22000000,9800000,"
                  "123456789\n\n\n\nRATINGS\n" +
                  kRatingsWithoutFigures + "\n\n\n");
    const CliRun run = runCli(folder_.path().string(), "report extended.qkc");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\nWrite RND 4KiB Q32,4096,32,24,"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.substr(run.out.find("EXTENDED TESTS")),
              extended.substr(extended.find("EXTENDED TESTS")));
}

// A library copies its members whole: the figures read back from a member as from the
// file, and the selection window's information shows them only where they are.
TEST_F(ExtendedResultTest, LibraryMembersKeepTheirFiguresAndTheInformationShowsThem) {
    const std::string plain = write("plain.qkc", plain_);
    const std::string extended = write("extended.qkc", extended_);
    std::vector<std::string> problems;
    ASSERT_TRUE(writeLibrary(folder_.file("lib.qkl"), {extended, plain}, &problems));
    auto library = openCollection(folder_.file("lib.qkl").c_str());
    ASSERT_NE(library, nullptr);
    ASSERT_EQ(library->getMemberCount(), 2u);
    ASSERT_TRUE(library->selectMember(0));
    const ExtendedFigures member = readExtendedFigures(*library);
    ASSERT_TRUE(member.reads[0].has_value());
    EXPECT_EQ(member.reads[0]->latencyP999Ns, 69595752u);
    ASSERT_TRUE(member.sustained.has_value());
    EXPECT_EQ(member.sustained->slowestOffset, 123456789u);
    EXPECT_EQ(extendedLines(member),
              (std::vector<std::string>{
                  "Read SEQ 1MiB Q1: 45.20 MB/s, latency 23.20 ms median, 46.40 ms p99",
                  "Write RND 4KiB Q32: 0.02 MB/s, 4.9 IOPS", kCurveLine}));
    ASSERT_TRUE(library->selectMember(1));
    EXPECT_FALSE(readExtendedFigures(*library).any());

    const std::vector<BenchmarkEntry> entries = loadEntries(folder_.path().string(), "*.qkl");
    ASSERT_EQ(entries.size(), 2u);
    const std::string noDetails = "SYSTEM DATA-\n\n\nTEST NOTES-\n\n\n";
    EXPECT_EQ(entryInfoText(folder_.path().string(), entries[0]),
              noDetails +
                  "EXTENDED TESTS-\n"
                  "Read SEQ 1MiB Q1: 45.20 MB/s, latency 23.20 ms median, 46.40 ms p99\n"
                  "Write RND 4KiB Q32: 0.02 MB/s, 4.9 IOPS\n" +
                  kCurveLine + "\n\nRATINGS-\n" + kRatingsWithoutFigures + "\n");
    EXPECT_EQ(entryInfoText(folder_.path().string(), entries[1]), noDetails);
}

}  // namespace
}  // namespace vorn::test
