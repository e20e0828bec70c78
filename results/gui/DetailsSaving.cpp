#include "results/gui/DetailsSaving.h"

#include <exception>
#include <memory>

#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "base/FileNames.h"
#include "results/Collections.h"
#include "results/gui/TupdateDetails.h"
#include "storage/DriveFacts.h"
#include "storage/StoredDrive.h"
#include "view/gui/TQkVornChart.h"

namespace vorn {

namespace {

void tellProblem(const SaveOutcome& outcome, I_Dialogs& dialogs) {
    if (outcome.problem.empty()) {
        return;
    }
    if (outcome.resultSaved) {
        dialogs.warning(outcome.problem);
    } else {
        dialogs.error(outcome.problem);
    }
}

}  // namespace

std::string saveForUpload(const ResultDetails& details, I_DriveFacts& device,
                          I_VornCollection& collection, const SaveHooks& hooks,
                          I_Dialogs& dialogs) {
    const std::string name = resultFileName(device.deviceId(), collection, true);
    const SaveOutcome outcome = saveResultFile(details, device, collection, name, false, hooks);
    tellProblem(outcome, dialogs);
    return outcome.resultSaved ? name : std::string();
}

void saveWithReport(const ResultDetails& details, I_DriveFacts& device,
                    I_VornCollection& collection, const SaveHooks& hooks, I_Dialogs& dialogs) {
    const std::string path =
        dialogs.saveFileName(resultFileName(device.deviceId(), collection, false));
    if (path.empty()) {
        return;
    }
    const SaveOutcome outcome = saveResultFile(details, device, collection, path, true, hooks);
    tellProblem(outcome, dialogs);
    // A save that worked says where its files went.
    if (outcome.resultSaved && outcome.reportSaved) {
        dialogs.information("The results were saved as \"" + path +
                            "\" and the statistics report as \"" + reportPathFor(path) + "\".");
    }
}

void btSaveClick(TQkVornChart& chart, TupdateDetails& details) {
    openLog(kSaveLog);
    bool hidden = false;
    try {
        I_VornCollection* result = chart.result(0);
        const std::shared_ptr<StoredDrive> device = result ? readStoredDrive(*result) : nullptr;
        if (device) {
            chart.hide();
            hidden = true;
            details.showDetails(*device, *result, false);
        }
    } catch (const std::exception& exception) {
        logException("btSaveClick", exception);
    } catch (...) {
        logUnknownException("btSaveClick", -1);
    }
    if (hidden) {
        chart.show();
    }
    closeLog();
}

}  // namespace vorn
