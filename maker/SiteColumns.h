#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "maker/ResultScan.h"

// The figures of a result the site shows, one row per column of the results table:
// the index's columns, its sort keys and the compare page's rows all come from here.

namespace vorn {

struct SiteCell {
    std::string text;                 // as shown; empty when the result lacks the figure
    std::optional<double> sortValue;  // numeric columns; nothing sorts last
};

struct SiteColumn {
    std::string key;  // the header's data-key: lower-case letters and digits
    std::string caption;
    bool numeric = false;
    std::function<SiteCell(const PublishedResult&)> cell;
};

// In table order; the first is the drive's identification.
const std::vector<SiteColumn>& siteColumns();

}  // namespace vorn
