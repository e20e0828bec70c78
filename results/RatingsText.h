#pragma once

#include <optional>
#include <string>
#include <vector>

#include "results/Ratings.h"

// The rating verdicts in words, for the chart's summary, the selection window's
// information, show and the statistics report.

namespace vorn {

class I_VornCollection;

// The first line wherever the verdicts are shown.
inline constexpr const char* kRatingsHeading =
    "Ratings (QK Vorn's measurement under its own conditions, not a certification):";

// The verdicts of a run with any extended figure; nothing without one, so a run
// without them shows exactly what it always did.
std::optional<RatingTable> ratingsOf(const ExtendedFigures& figures,
                                     const std::optional<DriveLink>& link);

// The link a run was measured over, as it stored it; nothing while unknown.
std::optional<DriveLink> runDriveLink(I_VornCollection& result);

// The heading, then either what is missing or "Meets Class 10, U3, V30, A1.", a "Not
// A2: ..." line per family that falls short, the ratings that cannot be told, the card's
// claims beside the measurement, and the link.
std::vector<std::string> ratingLines(const RatingTable& table);

// The highest rating met in each family, for a column of a table: "Class 10, U3, V30,
// A1". Empty when none is met or the verdicts could not be taken.
std::string metRatingsText(const RatingTable& table);

// The statistics report's "RATINGS" block (its lines, then "\n\n\n"); empty without a
// table.
std::string ratingsReport(const std::optional<RatingTable>& table);

}  // namespace vorn
