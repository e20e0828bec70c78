#include "app/CapacityStage.h"

#include <cstdio>
#include <string>

#include "app/RunView.h"
#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "bench/Benchmark.h"
#include "results/CapacityEntry.h"
#include "results/RunSteps.h"
#include "storage/DeviceListText.h"
#include "storage/EventLog.h"

namespace vorn {
namespace {

constexpr const RunStep& kStep = stepOf(StepKind::Capacity);

void noteStep(I_VornEventLog& eventLog, const char* first) {
    eventLog.addNote(first);
    eventLog.addNote(kStep.name);
    logMessage("%s", first);
    logMessage("%s", kStep.name);
}

// The whole check (every pass) on the test row's progress bar; the view's cancel
// stops it.
class ViewObserver : public I_ProbeObserver {
public:
    explicit ViewObserver(I_RunView& view) : view_(view) {}
    void progress(const ProbeProgress& p) override {
        const uint64_t percent = p.allTotalBytes == 0 ? 0 : p.allDoneBytes * 100 / p.allTotalBytes;
        if (percent != shown_) {
            shown_ = percent;
            view_.setProgress(static_cast<uint32_t>(percent));
        }
    }
    bool cancelRequested() override { return view_.cancelRequested(); }

private:
    I_RunView& view_;
    uint64_t shown_ = UINT64_MAX;
};

}  // namespace

CapacityStage::CapacityStage(const TestRunContext& run)
    : run_(run), limited_(run.device), limitedRun_{limited_,      run.eventLog,
                                                   run.view,      run.dialogs,
                                                   run.writeTest, run.capacityCheck,
                                                   run.extended,  run.writeCurveLine} {}

bool CapacityStage::run() {
    if (!checking()) {
        return true;
    }
    I_RunView& view = run_.view;
    view.setRowLabel(RunRow::Test, kStep.rowLabel);
    view.setRowState(RunRow::Test, RowState::Running);
    view.setProgress(0);
    view.setProgressVisible(true);
    view.setRowActive(RunRow::Test, true);
    noteStep(run_.eventLog, "START -");

    ViewObserver observer(view);
    CapacityResult result;
    const ProbeStatus status = probeCapacity(run_.device, ProbeOptions{}, observer, result);
    const bool genuine = status == ProbeStatus::Done && result.verdict == CapacityVerdict::Genuine;
    if (status != ProbeStatus::Done) {
        noteError(status);
    }
    view.setRowState(RunRow::Test, genuine ? RowState::Passed : RowState::Failed);
    view.setProgressVisible(false);
    view.setRowActive(RunRow::Test, false);
    noteStep(run_.eventLog, "END -");
    view.setRowLabel(RunRow::Test, "Testing Flash Device");
    if (status == ProbeStatus::Stopped) {
        logMessage("** %s", capacityStopText(result).c_str());
        run_.dialogs.error(capacityStopText(result));
    }
    if (status != ProbeStatus::Done) {
        return false;
    }
    result_ = result;
    logMessage("%s", capacityVerdictText(result).c_str());
    if (result.verifiedBytes == 0) {
        // Nothing verified: there is nothing to go on inside.
        logMessage("%s", capacityFailureText(result).c_str());
        run_.dialogs.error(capacityVerdictText(result) + ".\n" + capacityFailureText(result) + ".");
        return false;
    }
    return genuine || goOnInside(result);
}

// A check that ended without a verdict leaves its note in the event log as a failed
// benchmark step does.
void CapacityStage::noteError(ProbeStatus status) {
    const uint32_t code = status == ProbeStatus::Cancelled     ? kStatusCancelled
                          : status == ProbeStatus::NotWritable ? kStatusNotWritable
                          : status == ProbeStatus::NoMedium    ? kStatusNoMedia
                                                               : kStatusFailed;
    char text[32];
    std::snprintf(text, sizeof text, "TEST ERROR %u\n", code);
    run_.eventLog.addNote(text);
    logMessage("TEST ERROR %u", code);
}

bool CapacityStage::goOnInside(const CapacityResult& result) {
    logMessage("%s", capacityFailureText(result).c_str());
    const std::string question = capacityVerdictText(result) + ".\n" + capacityFailureText(result) +
                                 ".\nContinue the test inside the verified capacity?";
    if (!run_.dialogs.destructiveQuestion(question, deviceListText(run_.device))) {
        return false;
    }
    limited_.setLimit(result.verifiedBytes / result.sectorSize);
    if (const std::string why = runRefusal(limited_, run_.writeTest); !why.empty()) {
        run_.dialogs.error(why);
        return false;
    }
    return true;
}

bool CapacityStage::store(I_VornCollection& file) const {
    return !result_ || saveCapacityResult(file, *result_);
}

}  // namespace vorn
