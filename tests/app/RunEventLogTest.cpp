// "event.log" of a whole write-test run on a 4 GB medium: the wipe (more writes than
// the log has room for) is a few rows between its notes, and every transfer of the
// flash check, the twelve tests and both access tests is still there.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "RunFixture.h"
#include "support/RecordingRunView.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

std::map<std::string, uint64_t> rowsByEvent(const std::string& csv) {
    std::map<std::string, uint64_t> rows;
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        ++rows[line.substr(0, line.find(','))];
    }
    return rows;
}

TEST(RunEventLog, KeepsEveryBenchmarkTransferWhateverTheWipe) {
    InTempFolder here;
    MemoryRun memory;
    memory.options = {.sectors = 8388608, .keepData = false};
    memory.prepare = [](KeptDevice& device) { device.recordTransfers(false); };
    RecordingRunView view;
    ScriptedDialogs dialogs({}, true);
    // Every phase runs; only the result file fails at its end, as the memory device
    // keeps no device-information record.
    ASSERT_EQ(runTestJob(memory.request(true), view, dialogs).outcome, RunOutcome::Failed);
    EXPECT_NE(here.read("vorntest.log").find("END -\nSequential Access\n"), std::string::npos);
    const std::string csv = here.read("event.log");
    EXPECT_EQ(csv.find("truncated"), std::string::npos);
    const std::map<std::string, uint64_t> rows = rowsByEvent(csv);
    // Per zone of 4 MB: 2048 + 1024 + 512 + 256 + 128 + 64 blocks, two zones a test.
    constexpr uint64_t kTableBlocks = 2 * 4032;
    // The flash check's 32 reads, ten marker reads, the read tests, 2 x 512 accesses
    // with one untimed read before each access test.
    EXPECT_EQ(rows.at("READ"), 32u + 10u + kTableBlocks + 2u * (1u + 512u));
    // The write tests and the ten markers; two flushes around each zone.
    EXPECT_EQ(rows.at("WRITE"), kTableBlocks + 10u);
    EXPECT_EQ(rows.at("FLUSH"), 6u * 2u * 2u);
    // 295 rows of the full wipe, one of the 1024-sector zeroing after the write tests.
    EXPECT_EQ(rows.at("WIPE"), 295u + 1u);
}

}  // namespace
}  // namespace vorn::test
