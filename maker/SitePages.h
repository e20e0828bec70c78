#pragma once

#include <string>
#include <vector>

#include "maker/ResultScan.h"

// The results site: plain HTML pages, one style sheet and two small scripts, no
// server-side code and nothing fetched from elsewhere. Every text from a result goes
// through escapeHtml (pages) or jsonString (data).

namespace vorn {

// Where a result's page lives in the site: "r/<name>.html".
std::string resultPagePath(const std::string& name);

// The id of the element of a result's page that holds resultJson, for the compare page.
inline constexpr const char* kResultDataId = "result-data";

// index.html: the table of every result (id "results"), sortable by any column, with a
// link to each result's page and boxes to choose results for the compare page.
std::string indexPage(const std::vector<PublishedResult>& results);

// A result's page: its figures, its charts as inline SVG, its ratings and its data.
std::string resultPage(const PublishedResult& result);

// What the compare page draws of a result.
std::string resultJson(const PublishedResult& result);

// The compare page; its script reads the chosen names from the address.
std::string comparePage();

// The style sheet and the scripts, by their names in the site.
inline constexpr const char* kStyleName = "site.css";
inline constexpr const char* kTableScriptName = "table.js";
inline constexpr const char* kCompareScriptName = "compare.js";
std::string styleSheet();
std::string tableScript();
std::string compareScript();

}  // namespace vorn
