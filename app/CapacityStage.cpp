#include "app/CapacityStage.h"

#include <string>

#include "app/RunView.h"
#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "results/CapacityEntry.h"
#include "storage/EventLog.h"

namespace vorn {
namespace {

constexpr const char* kStep = "CAPACITY CHECK";

void noteStep(I_VornEventLog& eventLog, const char* first) {
    eventLog.addNote(first);
    eventLog.addNote(kStep);
    logMessage("%s", first);
    logMessage("%s", kStep);
}

// The probe's passes on the test row's progress bar; the view's cancel stops it.
class ViewObserver : public I_ProbeObserver {
public:
    explicit ViewObserver(I_RunView& view) : view_(view) {}
    void progress(const ProbeProgress& p) override {
        const uint64_t percent = p.totalBytes == 0 ? 0 : p.doneBytes * 100 / p.totalBytes;
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
    : run_(run), limited_(run.device), limitedRun_{limited_,    run.eventLog,  run.view,
                                                   run.dialogs, run.writeTest, run.capacityCheck} {}

bool CapacityStage::run() {
    if (!checking()) {
        return true;
    }
    I_RunView& view = run_.view;
    view.setRowLabel(RunRow::Test, "Checking Real Capacity");
    view.setRowState(RunRow::Test, RowState::Running);
    view.setProgress(0);
    view.setProgressVisible(true);
    view.setRowActive(RunRow::Test, true);
    noteStep(run_.eventLog, "START -");

    ViewObserver observer(view);
    CapacityResult result;
    const ProbeStatus status = probeCapacity(run_.device, ProbeOptions{}, observer, result);
    const bool genuine = status == ProbeStatus::Done && result.verdict == CapacityVerdict::Genuine;
    view.setRowState(RunRow::Test, genuine ? RowState::Passed : RowState::Failed);
    view.setProgressVisible(false);
    view.setRowActive(RunRow::Test, false);
    noteStep(run_.eventLog, "END -");
    view.setRowLabel(RunRow::Test, "Testing Flash Device");
    if (status != ProbeStatus::Done) {
        logMessage("** capacity check ended with status %d", static_cast<int>(status));
        return false;
    }
    result_ = result;
    logMessage("%s", capacityVerdictText(result).c_str());
    return genuine || goOnInside(result);
}

bool CapacityStage::goOnInside(const CapacityResult& result) {
    logMessage("%s", capacityFailureText(result).c_str());
    const std::string question = capacityVerdictText(result) + ".\n" + capacityFailureText(result) +
                                 ".\nContinue the test inside the verified capacity?";
    if (!run_.dialogs.question(question)) {
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
