// ingest: the maker's side receiving uploads, from a Maildir into a results folder.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "maker/Ingest.h"

namespace vorn::cli {

int runIngest(int argc, char** argv) {
    CommandLine line("ingest", "Files the results uploaded to a Maildir as checked result files.");
    std::vector<std::string> paths;
    std::string results;
    line.positionals("MAILDIR", &paths, "the Maildir the uploads are delivered to");
    line.text("--into", &results, "the folder the results are filed in (made when missing)",
              "RESULTS");
    line.footer(
        "Exit codes: 0 when every message was looked at (rejections included), 1 when a file "
        "could not be read or written, 2 on a usage error.");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    if (paths.size() != 1 || results.empty()) {
        return line.usageError("usage: qkvorn-cli ingest MAILDIR --into RESULTS");
    }
    const IngestReport report = ingestMaildir(
        paths.front(), results, [](const std::string& text) { std::printf("%s\n", text.c_str()); });
    std::printf("%s\n", ingestSummary(report).c_str());
    for (const std::string& failure : report.failures) {
        std::fprintf(stderr, "qkvorn-cli: ingest: %s\n", failure.c_str());
    }
    return report.failures.empty() ? 0 : 1;
}

}  // namespace vorn::cli
