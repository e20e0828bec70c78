#pragma once

#include <string>

#include "results/RunDetails.h"
#include "results/SaveResult.h"

namespace vorn {

class I_Dialogs;
class I_DriveFacts;
class I_VornCollection;
class TQkVornChart;
class TupdateDetails;

// What Done in the details window leads to: the result written with the details the
// user confirmed, and any problem told in a box (a warning when the result was still
// written, an error when it was not).

// Upload mode: "<device>_<time>.qkc" in the working directory, no report. Answers that
// name, or "" when nothing was written (a file that was not written cannot be sent).
std::string saveForUpload(const ResultDetails& details, I_DriveFacts& device,
                          I_VornCollection& collection, const SaveHooks& hooks, I_Dialogs& dialogs);

// Save mode: asks for a path (proposing the device's name) and writes the result with
// the statistics report beside it; a cancelled question writes nothing.
void saveWithReport(const ResultDetails& details, I_DriveFacts& device,
                    I_VornCollection& collection, const SaveHooks& hooks, I_Dialogs& dialogs);

// Save Results of the chart window: the details window in save mode for the first
// result on view, with "vornsave.log" as the diagnostic log. The chart window hides
// meanwhile; nothing happens when the result carries no device record.
void btSaveClick(TQkVornChart& chart, TupdateDetails& details);

}  // namespace vorn
