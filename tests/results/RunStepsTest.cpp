#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "results/RunSteps.h"

namespace vorn::test {
namespace {

// Results written by every earlier version hold these entries in this order: a row
// moved or renamed in the table would change the bytes of every new result file.
TEST(RunSteps, StoredKeysKeepTheirNamesAndOrder) {
    std::vector<std::string> keys;
    std::vector<std::string> extended;
    for (const RunStep& step : kRunSteps) {
        if (step.resultKey != nullptr) {
            (isExtended(step.kind) ? extended : keys).push_back(step.resultKey);
        }
    }
    EXPECT_EQ(keys,
              (std::vector<std::string>{"QKCCAPACITY", "QKCR2", "QKCR4", "QKCR8", "QKCR16",
                                        "QKCR32", "QKCR64", "QKCW2", "QKCW4", "QKCW8", "QKCW16",
                                        "QKCW32", "QKCW64", "QKCRACCESS", "QKCSACCESS"}));
    // The extended tests' keys are stored after every other entry, in this order.
    EXPECT_EQ(extended,
              (std::vector<std::string>{"QKXR1MQ1", "QKXR1MQ8", "QKXR4KQ1", "QKXR4KQ32", "QKXW1MQ1",
                                        "QKXW1MQ8", "QKXW4KQ1", "QKXW4KQ32"}));
}

// Each extended row keeps transfers of its block in flight at its depth: SEQ 1 MiB at
// 1 and 8, RND 4 KiB at 1 and 32, read and write alike.
TEST(RunSteps, ExtendedTestsAreTheStandardSetReadAndWritten) {
    ASSERT_EQ(extendedReads.size(), 4u);
    for (size_t i = 0; i < extendedReads.size(); ++i) {
        EXPECT_EQ(extendedReads[i].blockSize, extendedWrites[i].blockSize);
        EXPECT_EQ(extendedReads[i].queueDepth, extendedWrites[i].queueDepth);
        EXPECT_EQ(extendedReads[i].random, extendedWrites[i].random);
        EXPECT_EQ(extendedReads[i].blockSize, extendedReads[i].random ? 4096u : 1048576u);
        EXPECT_EQ(extendedReads[i].reportTitle, nullptr);
    }
    EXPECT_EQ(extendedReads[1].queueDepth, 8u);
    EXPECT_EQ(extendedReads[3].queueDepth, 32u);
    // The room for the set is fixed up front and sits on top of a classic run's.
    EXPECT_EQ(eventRows(extendedReads[0]), kExtendedRows + 60u + 2 + 5);
    EXPECT_EQ(kExtendedLogRoom, kEventLogRoom + 8 * eventRows(extendedReads[0]));
}

TEST(RunSteps, NamesAndKeysAreUniqueAndFoundAgain) {
    std::set<std::string> names, keys;
    for (const RunStep& step : kRunSteps) {
        EXPECT_TRUE(names.insert(step.name).second) << step.name;
        EXPECT_EQ(stepNamed(step.name), &step);
        if (step.resultKey != nullptr) {
            EXPECT_TRUE(keys.insert(step.resultKey).second) << step.resultKey;
            EXPECT_EQ(stepStoredAs(step.resultKey), &step);
        }
    }
    EXPECT_EQ(stepNamed("Read Test (128k block)"), nullptr);
    EXPECT_EQ(stepNamed(""), nullptr);
    EXPECT_EQ(stepStoredAs("DRIVEID"), nullptr);
    EXPECT_EQ(stepStoredAs("QKCR"), nullptr);
}

// The chart pairs read and write bars by position, the timeline shades by doubling.
TEST(RunSteps, ZonedTablesPairUpAndDoubleTheirBlocks) {
    ASSERT_EQ(readTests.size(), writeTests.size());
    for (size_t i = 0; i < readTests.size(); ++i) {
        EXPECT_EQ(readTests[i].blockSize, writeTests[i].blockSize);
        EXPECT_GT(readTests[i].blockSize, 0u);
        EXPECT_EQ(readTests[i].span % readTests[i].blockSize, 0u) << readTests[i].name;
        if (i > 0) {
            EXPECT_EQ(readTests[i].blockSize, 2 * readTests[i - 1].blockSize);
        }
    }
}

TEST(RunSteps, EventRowsCoverEveryTransferOfARun) {
    // 2 zones of 4 MB in 2 KB blocks, and the notes that open and close the step.
    EXPECT_EQ(eventRows(readTests[0]), 2u * 2048 + 5);
    // A write zone ends with a flush.
    EXPECT_EQ(eventRows(writeTests[5]), 2u * (64 + 1) + 5);
    EXPECT_EQ(eventRows(stepOf(StepKind::RandomAccess)), 512u + 5);
    EXPECT_EQ(eventRows(stepOf(StepKind::FlashCheck)), 2u * 16 + 5);
    uint32_t zoned = 0;
    for (const RunStep& step : kRunSteps) {
        zoned += isZoned(step.kind) ? eventRows(step) : 0;
    }
    const uint32_t wipes = 2 * eventRows(stepOf(StepKind::Wipe));
    const uint32_t access = 2 * eventRows(stepOf(StepKind::RandomAccess));
    // The capacity check is left out: it logs what still fits; the extended tests have
    // room of their own.
    EXPECT_EQ(eventRowsOfRun(), zoned + wipes + access);
    EXPECT_LE(eventRowsOfRun(), kEventLogRoom);
}

}  // namespace
}  // namespace vorn::test
