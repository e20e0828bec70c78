// report: the comma-separated statistics report of a result, as Save Results writes
// it beside a saved file, printed to stdout.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "results/Collections.h"
#include "results/RunRecord.h"
#include "results/SaveResult.h"
#include "storage/DeviceListText.h"
#include "storage/StoredDrive.h"

namespace vorn::cli {

int runReport(int argc, char** argv) {
    CommandLine line("report", "The comma-separated statistics report of a result.");
    uint64_t member = 0;
    std::vector<std::string> rest;
    line.positionals("FILE", &rest, "a result or library file");
    line.number("--member", &member, UINT32_MAX, "the library member (default 0)");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    if (rest.size() != 1) {
        return line.usageError("usage: qkvorn-cli report FILE [--member N]");
    }
    auto collection = openCollection(rest[0].c_str());
    if (!collection) {
        return failWith("report", openFailure(rest[0], "a result or library file"));
    }
    const uint32_t members = collection->getMemberCount();
    if (member >= members || !collection->selectMember(static_cast<uint32_t>(member))) {
        return failWith("report", "member " + std::to_string(member) +
                                      " is out of range or damaged (" + std::to_string(members) +
                                      " members)");
    }
    // A result without a device record is listed as an unnamed device without media.
    const std::shared_ptr<StoredDrive> device = readRunRecord(*collection).device;
    StoredDrive unknown;
    const std::string deviceText = deviceListText(device ? *device : unknown);
    const std::string report = statisticsReport(*collection, deviceText);
    std::fwrite(report.data(), 1, report.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : failWith("report", "the report could not be written");
}

}  // namespace vorn::cli
