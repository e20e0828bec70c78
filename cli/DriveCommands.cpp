// list and info: the drives as the main window lists them, and one drive's dump.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/SystemInfoTrace.h"
#include "base/DiagLog.h"
#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/JsonOut.h"
#include "storage/DeviceListText.h"
#include "storage/LinuxDrive.h"

namespace vorn::cli {
namespace {

// The main window tries these drive numbers.
constexpr int kLastDrive = 30;
constexpr uint32_t kListBuffer = 65536;
constexpr const char* kRefreshLog = "vornrefresh.log";

struct ListedDrive {
    int number;
    std::string text;
    bool removable;
    bool writable;
};

std::vector<ListedDrive> listDrives() {
    std::vector<ListedDrive> drives;
    for (int n = 0; n <= kLastDrive; ++n) {
        if (auto disk = newLinuxDrive(n, nullptr, kListBuffer)) {
            drives.push_back({n, deviceListText(*disk), disk->deviceRemovable() != 0,
                              disk->mediaWritable() != 0});
        }
    }
    return drives;
}

void printListJson(const std::vector<ListedDrive>& drives) {
    Json list = Json::array();
    for (const ListedDrive& d : drives) {
        list.push_back({{"drive", d.number},
                        {"text", d.text},
                        {"removable", d.removable},
                        {"writable", d.writable}});
    }
    printJson(list);
}

}  // namespace

int runList(int argc, char** argv) {
    CommandLine line("list", "The drives as the main window lists them.");
    bool json = false;
    line.flag("--json", &json, "print the list as JSON");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    openLog(kRefreshLog);
    const std::vector<ListedDrive> drives = listDrives();
    closeLog();
    if (json) {
        printListJson(drives);
        return 0;
    }
    for (const ListedDrive& d : drives) {
        std::printf("%2d  %s%s%s\n", d.number, d.text.c_str(), d.removable ? "  [removable]" : "",
                    d.writable ? "  [writable]" : "");
    }
    if (drives.empty()) {
        std::printf("no drives\n");
    }
    return 0;
}

// The dump goes to the diagnostic log like every open's; this prints the drive's own
// block from it (the once-per-process listing of all disks comes before it).
int runInfo(int argc, char** argv) {
    CommandLine line("info", "One drive's entry in the diagnostic log.");
    std::vector<std::string> rest;
    line.positionals("DRIVE", &rest, "the drive's number, 0 to 30");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    uint64_t drive = 0;
    if (rest.size() != 1 || !parseUnsigned(rest[0], kLastDrive, &drive)) {
        return line.usageError("usage: qkvorn-cli info DRIVE (0 to 30)");
    }
    openLog(kRefreshLog);
    const bool opened = newLinuxDrive(static_cast<int>(drive), nullptr, kListBuffer) != nullptr;
    closeLog();
    if (!opened) {
        return failWith("info", "drive " + std::to_string(drive) + " does not open");
    }
    // The block runs from its heading to "-"; the letters line follows the namespace
    // dump that the first open of a process writes.
    std::ifstream in(kRefreshLog);
    std::vector<std::string> lines;
    const std::string heading = "DEBUG INFO FOR DEVICE " + std::to_string(drive);
    const std::string letters = "mountPointsText " + std::to_string(drive) + ":";
    bool inBlock = false;
    for (std::string line; std::getline(in, line);) {
        if (line == heading) {
            lines.clear();
            inBlock = true;
        }
        if (inBlock || line.rfind(letters, 0) == 0) {
            lines.push_back(line);
        }
        inBlock = inBlock && line != "-";
    }
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

}  // namespace vorn::cli

namespace vorn::cli {

int runSysinfo(int argc, char** argv) {
    CommandLine line("sysinfo", "The system's devices by category.");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    for (const SystemCategory& category : systemInformation()) {
        std::printf("%s\n", category.name.c_str());
        for (const std::string& device : category.devices) {
            std::printf("  %s\n", device.c_str());
        }
    }
    return 0;
}

}  // namespace vorn::cli
