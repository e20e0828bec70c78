// list and info: the drives as the main window lists them, and one drive's dump.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/SystemInfoTrace.h"
#include "base/DiagLog.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "storage/DeviceListText.h"
#include "storage/Win2kDisk.h"

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
        if (auto disk = newWin2kDisk(n, nullptr, kListBuffer)) {
            drives.push_back({n, deviceListText(*disk), disk->deviceRemovable() != 0,
                              disk->mediaWritable() != 0});
        }
    }
    return drives;
}

}  // namespace

int runList(int argc, char** argv) {
    ArgParser args(argc, argv);
    const bool json = args.takeFlag("--json");
    if (!args.positionals().empty() || !args.ok()) {
        return failWith("list", args.ok() ? "unexpected argument" : args.error(), 2);
    }
    openLog(kRefreshLog);
    const std::vector<ListedDrive> drives = listDrives();
    closeLog();
    if (json) {
        std::printf("[");
        for (size_t i = 0; i < drives.size(); ++i) {
            const ListedDrive& d = drives[i];
            std::printf("%s{\"drive\": %d, \"text\": \"%s\", \"removable\": %s, \"writable\": %s}",
                        i == 0 ? "" : ", ", d.number, jsonEscaped(d.text).c_str(),
                        d.removable ? "true" : "false", d.writable ? "true" : "false");
        }
        std::printf("]\n");
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
    ArgParser args(argc, argv);
    const std::vector<std::string> rest = args.positionals();
    uint64_t drive = 0;
    if (!args.ok() || rest.size() != 1 || !parseUnsigned(rest[0], kLastDrive, &drive)) {
        return failWith("info", args.ok() ? "usage: qkvorn-cli info DRIVE (0 to 30)" : args.error(),
                        2);
    }
    openLog(kRefreshLog);
    const bool opened = newWin2kDisk(static_cast<int>(drive), nullptr, kListBuffer) != nullptr;
    closeLog();
    if (!opened) {
        return failWith("info", "drive " + std::to_string(drive) + " does not open");
    }
    // The block runs from its heading to "-"; the letters line follows the namespace
    // dump that the first open of a process writes.
    std::ifstream in(kRefreshLog);
    std::vector<std::string> lines;
    const std::string heading = "DEBUG INFO FOR DEVICE " + std::to_string(drive);
    const std::string letters = "deviceLetters " + std::to_string(drive) + ":";
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
    ArgParser args(argc, argv);
    if (!args.positionals().empty() || !args.ok()) {
        return failWith("sysinfo", args.ok() ? "unexpected argument" : args.error(), 2);
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
