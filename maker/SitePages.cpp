#include "maker/SitePages.h"

#include <cstdio>

#include "maker/ChartSvg.h"
#include "maker/SafeText.h"
#include "maker/SiteColumns.h"
#include "results/CapacityEntry.h"
#include "results/ExtendedText.h"
#include "results/RatingsText.h"

namespace vorn {

namespace {

constexpr const char* kSiteTitle = "QK Vorn results";

// The page's head and the start of its body; `root` leads from the page to the site's
// top folder ("" or "../").
std::string pageStart(const std::string& title, const std::string& root) {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>" +
           escapeHtml(title) + "</title>\n<link rel=\"stylesheet\" href=\"" + root + kStyleName +
           "\">\n</head>\n<body>\n";
}

std::string pageEnd(const std::string& script) {
    const std::string tag =
        script.empty() ? std::string() : "<script src=\"" + script + "\"></script>\n";
    return tag + "</body>\n</html>\n";
}

std::string headerRow() {
    std::string row = "<tr><th>Compare</th>";
    for (const SiteColumn& column : siteColumns()) {
        row += "<th data-key=\"" + column.key + "\"" +
               (column.numeric ? " data-type=\"num\"" : "") + " tabindex=\"0\">" +
               escapeHtml(column.caption) + "</th>";
    }
    return row + "</tr>\n";
}

std::string sortValueText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string cellHtml(const SiteColumn& column, const SiteCell& cell, const std::string& name) {
    std::string html = "<td";
    if (cell.sortValue) {
        html += " data-v=\"" + sortValueText(*cell.sortValue) + "\"";
    }
    html += ">";
    // The drive's cell leads to the result's page, even for a result without a name.
    if (&column == &siteColumns().front()) {
        const std::string text = cell.text.empty() ? "(unnamed)" : cell.text;
        return html + "<a href=\"" + resultPagePath(name) + "\">" + escapeHtml(text) + "</a></td>";
    }
    return html + escapeHtml(cell.text) + "</td>";
}

std::string tableRow(const PublishedResult& result) {
    const std::string name = escapeHtml(result.name);
    std::string row = "<tr data-name=\"" + name + "\"><td><input type=\"checkbox\" value=\"" +
                      name + "\" aria-label=\"Compare " + name + "\"></td>";
    for (const SiteColumn& column : siteColumns()) {
        row += cellHtml(column, column.cell(result), name);
    }
    return row + "</tr>\n";
}

// The figures of one result as a two-column table.
std::string figuresTable(const PublishedResult& result) {
    std::string html = "<table class=\"figures\">\n<tr><th>Result</th><td>" +
                       escapeHtml(result.name) + "</td></tr>\n";
    for (const SiteColumn& column : siteColumns()) {
        const SiteCell cell = column.cell(result);
        html += "<tr><th>" + escapeHtml(column.caption) + "</th><td>" + escapeHtml(cell.text) +
                "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string linesBlock(const char* heading, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return {};
    }
    std::string html = "<h2>" + escapeHtml(heading) + "</h2>\n<ul>\n";
    for (const std::string& line : lines) {
        html += "<li>" + escapeHtml(line) + "</li>\n";
    }
    return html + "</ul>\n";
}

std::string chartsBlock(const ChartModel& model) {
    std::string html = "<div class=\"charts\">\n" + barChartSvg(speedChart(model, false)) + "\n" +
                       barChartSvg(speedChart(model, true)) + "\n";
    if (hasExtendedBars(model)) {
        html += barChartSvg(extendedChart(model, false)) + "\n" +
                barChartSvg(extendedChart(model, true)) + "\n";
    }
    return html + "</div>\n";
}

std::vector<std::string> capacityLines(const ChartDevice& device) {
    if (!device.capacity) {
        return {};
    }
    std::vector<std::string> lines{capacityVerdictText(*device.capacity)};
    if (std::string failed = capacityFailureText(*device.capacity); !failed.empty()) {
        lines.push_back(failed);
    }
    return lines;
}

}  // namespace

std::string resultPagePath(const std::string& name) {
    return "r/" + name + ".html";
}

std::string indexPage(const std::vector<PublishedResult>& results) {
    std::string html = pageStart(kSiteTitle, "");
    html += "<h1>" + escapeHtml(kSiteTitle) + "</h1>\n<p>" + std::to_string(results.size()) +
            (results.size() == 1 ? " result" : " results") +
            ". Click a heading to sort; choose up to " + std::to_string(kMaxChartResults) +
            " results to compare. <a id=\"compare\" href=\"compare.html\">Compare</a></p>\n";
    html += "<table id=\"results\">\n<thead>\n" + headerRow() + "</thead>\n<tbody>\n";
    for (const PublishedResult& result : results) {
        html += tableRow(result);
    }
    return html + "</tbody>\n</table>\n" + pageEnd(kTableScriptName);
}

std::string resultPage(const PublishedResult& result) {
    const ChartDevice& device = result.device();
    const std::string title = device.driveId.empty() ? result.name : device.driveId;
    std::string html = pageStart(title + " - " + kSiteTitle, "../");
    html += "<p><a href=\"../index.html\">All results</a></p>\n<h1>" + escapeHtml(title) +
            "</h1>\n" + figuresTable(result) + chartsBlock(result.chart);
    html += linesBlock("Extended tests", extendedLines(device.extended));
    html += linesBlock("Capacity", capacityLines(device));
    if (device.ratings) {
        html += linesBlock("Ratings", ratingLines(*device.ratings));
    }
    // What the compare page draws, read from here without running anything: jsonString
    // writes every '<' as \u003C, so no text can end the element.
    html += "<script type=\"application/json\" id=\"" + std::string(kResultDataId) + "\">" +
            resultJson(result) + "</script>\n";
    return html + "<p>MB/s = 1,000,000 bytes per second. GB = 1,000,000,000 bytes.</p>\n" +
           pageEnd("");
}

std::string comparePage() {
    std::string html = pageStart("Compare - " + std::string(kSiteTitle), "");
    html +=
        "<p><a href=\"index.html\">All results</a></p>\n<h1>Compare results</h1>\n"
        "<noscript><p>The comparison is drawn by a script.</p></noscript>\n"
        "<div id=\"figures\"></div>\n<div id=\"charts\" class=\"charts\"></div>\n";
    return html + pageEnd(kCompareScriptName);
}

}  // namespace vorn
