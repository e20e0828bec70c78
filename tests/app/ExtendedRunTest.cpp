// Runs with the extended tests: their entries come after every other one and only
// when they ran; a cancel or a failed transfer inside one ends the run like any
// failed step, with "event.log" written.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "RunFixture.h"
#include "app/Wipe.h"
#include "platform/Counter.h"
#include "results/ExtendedEntries.h"
#include "results/LinkEntry.h"
#include "support/RecordingRunView.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

// The real counter ten times faster: an extended test's 6 s box passes in 0.6 s while
// every transfer is still a real one, and a loaded sanitizer build still completes
// transfers inside it.
class FastCounter : public platform::CounterSource {
public:
    FastCounter() { platform::setCounterSource(this); }
    ~FastCounter() override { platform::setCounterSource(nullptr); }
    uint64_t now() override {
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint64_t>(
                   std::chrono::duration_cast<std::chrono::nanoseconds>(since).count()) *
               10;
    }
    uint64_t frequency() override { return 1000000000; }
};

constexpr uint64_t kImageBytes = 64ull << 20;

RunOutcome pressOnImage(const std::string& image, bool writeTest, bool extended,
                        RecordingRunView& view) {
    RunJobRequest request = imageRequest(image);
    request.writeTest = writeTest;
    request.extended = extended;
    ScriptedDialogs dialogs({}, true);
    return runTestJob(request, view, dialogs).outcome;
}

// A fresh sparse image in the current (temporary) folder.
std::string makeImage(const char* name) {
    { std::ofstream create(name, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(name, kImageBytes);
    return std::filesystem::absolute(name).string();
}

TEST(ExtendedRun, StoresWhatRanAfterEveryOtherEntry) {
    FastCounter fast;
    for (const bool writeTest : {false, true}) {
        SCOPED_TRACE(writeTest);
        InTempFolder here;
        RecordingRunView classicView, extendedView;
        ASSERT_EQ(pressOnImage(makeImage("a.img"), writeTest, false, classicView),
                  RunOutcome::Succeeded);
        std::vector<std::string> expected = entryNames("temp.qkt");
        // The link ends both files: the extended entries come before it.
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(expected.back(), kLinkKey);
        expected.pop_back();
        ASSERT_EQ(pressOnImage(makeImage("b.img"), writeTest, true, extendedView),
                  RunOutcome::Succeeded);
        for (const RunStep& step : kRunSteps) {
            if (step.kind == StepKind::ExtendedRead ||
                (writeTest && step.kind == StepKind::ExtendedWrite)) {
                expected.push_back(step.resultKey);
            }
        }
        // The write curve comes from the wipe, which only the write test makes.
        if (writeTest) {
            expected.push_back(kSustainedKey);
        }
        expected.push_back(kLinkKey);
        EXPECT_EQ(entryNames("temp.qkt"), expected);
        auto file = openCollection("temp.qkt");
        ASSERT_NE(file, nullptr);
        const ExtendedFigures figures = readExtendedFigures(*file);
        for (size_t i = 0; i < figures.reads.size(); ++i) {
            ASSERT_TRUE(figures.reads[i].has_value()) << i;
            EXPECT_GT(figures.reads[i]->completions, 0u);
            EXPECT_EQ(figures.reads[i]->queueDepth, extendedReads[i].queueDepth);
            EXPECT_EQ(figures.reads[i]->regionBytes, kImageBytes);
            EXPECT_EQ(figures.writes[i].has_value(), writeTest);
        }
        // The step names mark each test in "event.log", nothing was cut.
        const std::string events = here.read("event.log");
        EXPECT_NE(events.find(",,,,,,,START -\n,,,,,,,Read RND 4KiB Q32\n"), std::string::npos);
        EXPECT_EQ(events.find(",,,,,,,START -\n,,,,,,,Write SEQ 1MiB Q1\n") != std::string::npos,
                  writeTest);
        EXPECT_EQ(events.find("truncated"), std::string::npos);
        EXPECT_EQ(extendedView.lastLabel(RunRow::Read), "Read RND 4KiB Q32");
    }
}

// The row a step of this label runs on has just been marked running.
bool runningUnder(const RecordingRunView& view, RunRow row, const char* label) {
    const std::vector<RowState> states = view.statesOf(row);
    return view.lastLabel(row) == label && !states.empty() && states.back() == RowState::Running;
}

TEST(ExtendedRun, ACancelInsideAnyExtendedTestEndsTheRun) {
    FastCounter fast;
    for (const RunStep& step : kRunSteps) {
        if (!isExtended(step.kind)) {
            continue;
        }
        SCOPED_TRACE(step.name);
        InTempFolder here;
        MemoryRun memory;
        RecordingRunView view;
        const RunRow row = step.kind == StepKind::ExtendedRead ? RunRow::Read : RunRow::Write;
        view.cancelWhen = [&](const RecordingRunView& v) {
            return runningUnder(v, row, step.rowLabel);
        };
        ScriptedDialogs dialogs({}, true);
        const RunResult result = runTestJob(memory.request(true, true), view, dialogs);
        EXPECT_EQ(result.outcome, RunOutcome::Failed);
        const std::string events = here.read("event.log");
        const std::string start = std::string(",,,,,,,START -\n,,,,,,,") + step.name + "\n";
        ASSERT_NE(events.find(start), std::string::npos);
        EXPECT_NE(events.find("TEST ERROR 2", events.find(start)), std::string::npos);
        EXPECT_FALSE(here.has("temp.qkt"));
        // A cancel among the writes still leaves the markers and the clean start.
        ASSERT_TRUE(memory.closed);
        EXPECT_EQ(std::memcmp(memory.medium.data() + markerSector(32768, 1) * 512, "QKVOR", 5) == 0,
                  step.kind == StepKind::ExtendedWrite);
    }
}

TEST(ExtendedRun, AMediumPulledDuringATestFailsItsStep) {
    FastCounter fast;
    InTempFolder here;
    MemoryRun memory;
    // Once the random reads at depth 1 begin, the medium is gone.
    std::atomic<bool> pulled{false};
    memory.prepare = [&pulled](KeptDevice& device) {
        device.failError = 19;  // ENODEV
        device.failWhen = [&pulled](uint64_t, const Transfer&) { return pulled.load(); };
    };
    RecordingRunView view;
    view.onLabel = [&pulled](RunRow, const std::string& text) {
        if (text == "Read RND 4KiB Q1") {
            pulled = true;
        }
    };
    ScriptedDialogs dialogs({}, true);
    const RunResult result = runTestJob(memory.request(false, true), view, dialogs);
    EXPECT_EQ(result.outcome, RunOutcome::Failed);
    EXPECT_TRUE(result.eventLogSaved);
    const std::string events = here.read("event.log");
    const size_t start = events.find(",,,,,,,START -\n,,,,,,,Read RND 4KiB Q1\n");
    ASSERT_NE(start, std::string::npos);
    // The failed row's device column carries the failure bit, as every failed row does.
    EXPECT_NE(events.find("READ,129,NO,", start), std::string::npos);
    EXPECT_NE(events.find("TEST ERROR 3", start), std::string::npos);
    EXPECT_EQ(events.find("Read RND 4KiB Q32"), std::string::npos);
}

}  // namespace
}  // namespace vorn::test
