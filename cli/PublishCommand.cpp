// publish: the maker's folder of checked results out as library files, the update list
// and the static results site.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "maker/Publish.h"
#include "maker/SafeText.h"
#include "platform/ProgramInfo.h"

namespace vorn::cli {

namespace {

void printReport(const PublishReport& report, const std::string& site) {
    // File names come from the results folder: printed as one safe line each.
    for (const std::string& skipped : report.skipped) {
        std::printf("skipped %s\n", printableLine(skipped).c_str());
    }
    std::printf(
        "%s: %zu result%s in %zu librar%s; files: %zu written, %zu unchanged, %zu removed\n",
        printableLine(site).c_str(), report.results, report.results == 1 ? "" : "s",
        report.libraries, report.libraries == 1 ? "y" : "ies", report.files.written,
        report.files.unchanged, report.files.removed);
}

}  // namespace

int runPublish(int argc, char** argv) {
    CommandLine line("publish",
                     "Turns a folder of checked results into library files, the update list "
                     "and a static results site.");
    std::vector<std::string> folders;
    std::string out;
    line.positionals("RESULTS", &folders, "the folder of checked result files (*.qkc)");
    line.text("--out", &out, "the site folder to write (served as the update path)", "SITE");
    line.footer(
        "Only changed files are rewritten; files an earlier publish wrote and this one "
        "does not are removed. Exit codes: 0 published, 1 failed, 2 usage error.");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    if (folders.size() != 1 || out.empty()) {
        return line.usageError("usage: qkvorn-cli publish RESULTS --out SITE");
    }
    PublishRequest request;
    request.resultsFolder = folders.front();
    request.siteFolder = out;
    const char* version = platform::programVersion();
    request.version = version != nullptr ? version : "";
    PublishReport report;
    if (!publishSite(request, &report)) {
        return failWith("publish", printableLine(report.failure));
    }
    printReport(report, out);
    return 0;
}

}  // namespace vorn::cli
