// A cancel that comes while no step runs (between two steps, or as one has just
// passed) stops the run before its next step; the medium is left as after a failure
// at that point.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "RunFixture.h"
#include "app/Wipe.h"
#include "support/RecordingRunView.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

const DialogBox kRunFailed{DialogBox::Warning, "Error during test or test cancelled by user."};

size_t passes(const RecordingRunView& view, RunRow row) {
    const std::vector<RowState> states = view.statesOf(row);
    return static_cast<size_t>(std::count(states.begin(), states.end(), RowState::Passed));
}

bool labelled(const RecordingRunView& view, const std::string& text) {
    return std::any_of(view.labels.begin(), view.labels.end(),
                       [&](const RecordingRunView::Label& l) { return l.text == text; });
}

TEST(RunCancel, ACancelBetweenStepsStopsBeforeTheNextOne) {
    const struct {
        const char* point;
        RunRow row;     // the cancel comes once this row has passed
        size_t passed;  // this many times
        const char* neverLabel;
        bool markers;
    } cases[] = {
        {"after the flash check", RunRow::Test, 1, "Erasing Flash Device", false},
        {"after the 4k read test", RunRow::Read, 2, "Read Test (8k block)", false},
        {"after the last read test", RunRow::Read, 6, "Write Test (2k block)", false},
        {"after the 4k write test", RunRow::Write, 2, "Write Test (8k block)", true},
        {"after the random access test", RunRow::Access, 1, "Sequential Access Test", true},
        {"after the sequential access test", RunRow::Access, 2, nullptr, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.point);
        InTempFolder here;
        MemoryRun memory;
        RecordingRunView view;
        view.cancelWhen = [&c](const RecordingRunView& v) { return passes(v, c.row) >= c.passed; };
        ScriptedDialogs dialogs({}, true);
        const RunResult result = runTestJob(memory.request(true), view, dialogs);
        EXPECT_EQ(result.outcome, RunOutcome::Failed);
        EXPECT_EQ(dialogs.boxes.back(), kRunFailed);
        EXPECT_EQ(result.stored, nullptr);
        if (c.neverLabel != nullptr) {
            EXPECT_FALSE(labelled(view, c.neverLabel));
        }
        // Nothing was cut short: the run stopped between steps.
        const std::string events = here.read("event.log");
        EXPECT_EQ(events.find("TEST ERROR"), std::string::npos);
        EXPECT_FALSE(here.has("temp.qkt"));
        ASSERT_TRUE(memory.closed);
        EXPECT_EQ(std::memcmp(memory.medium.data() + markerSector(32768, 1) * 512, "QKVOR", 5) == 0,
                  c.markers);
        EXPECT_NE(here.read("vorntest.log").find("** Test run cancelled"), std::string::npos);
    }
}

}  // namespace
}  // namespace vorn::test
