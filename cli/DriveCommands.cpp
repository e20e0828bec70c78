// list, watch and info: the drives as the main window lists them, as they come and
// go, and one drive's dump.

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/DriveListing.h"
#include "app/SystemInfoTrace.h"
#include "base/DiagLog.h"
#include "base/FileNames.h"
#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/JsonOut.h"
#include "cli/SignalCancel.h"
#include "platform/DriveEvents.h"
#include "storage/DriveLinkText.h"
#include "storage/DriveList.h"
#include "storage/LinuxDrive.h"

namespace vorn::cli {
namespace {

constexpr int kLastDrive = kLastListedDrive;

std::vector<ListedDrive> listWithLog() {
    return listIntoLog(systemCatalog(), kRefreshLog).drives;
}

std::string hex(uint32_t value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", width, value);
    return text;
}

Json usbJson(const UsbLink& usb) {
    return {{"speed_kbps", usb.speedKbps},
            {"version", usb.version},
            {"driver", usb.driver},
            {"vendor_id", hex(usb.vendorId, 4)},
            {"product_id", hex(usb.productId, 4)},
            {"manufacturer", usb.manufacturer},
            {"product", usb.product},
            {"serial", usb.serial}};
}

Json cardJson(const CardIdentity& card) {
    Json out = {{"type", card.type},
                {"manfid", hex(card.manfid, 6)},
                {"oemid", hex(card.oemid, 4)},
                {"name", card.name},
                {"date", card.date},
                {"serial", card.serial},
                {"hwrev", card.hwrev},
                {"fwrev", card.fwrev},
                {"preferred_erase_size", card.preferredEraseSize},
                {"bus_timing", card.busTiming},
                {"claims", nullptr}};
    if (card.claims) {
        out["claims"] = {{"speed_class", card.claims->speedClass},
                         {"uhs_grade", card.claims->uhsGrade},
                         {"video_class", card.claims->videoClass},
                         {"app_class", card.claims->appClass}};
    }
    return out;
}

// After the keys scripts have always read: the link the drive runs on, null parts
// where sysfs tells nothing.
Json linkJson(const DriveLink& link) {
    return {{"text", driveLinkText(link)},
            {"usb", link.usb ? usbJson(*link.usb) : Json(nullptr)},
            {"card", link.card ? cardJson(*link.card) : Json(nullptr)},
            {"behind_reader", link.behindReader}};
}

void printListJson(const std::vector<ListedDrive>& drives) {
    Json list = Json::array();
    for (const ListedDrive& d : drives) {
        list.push_back({{"drive", d.number},
                        {"text", d.text},
                        {"removable", d.removable},
                        {"writable", d.writable},
                        {"link", linkJson(d.link)}});
    }
    printJson(list);
}

void printListText(const std::vector<ListedDrive>& drives) {
    for (const ListedDrive& d : drives) {
        std::printf("%2d  %s%s%s\n", d.number, d.text.c_str(), d.removable ? "  [removable]" : "",
                    d.writable ? "  [writable]" : "");
    }
    if (drives.empty()) {
        std::printf("no drives\n");
    }
}

}  // namespace

int runList(int argc, char** argv) {
    CommandLine line("list", "The drives as the main window lists them.");
    bool json = false;
    line.flag("--json", &json, "print the list as JSON");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    const std::vector<ListedDrive> drives = listWithLog();
    if (json) {
        printListJson(drives);
    } else {
        printListText(drives);
    }
    return 0;
}

namespace {

// A burst of events (a stick brings its disk, then its medium) ends once none came for
// this long; a stream that never stops is listed after kSettleRounds of them.
constexpr int kSettleMs = 300;
constexpr int kSettleRounds = 20;
constexpr uint64_t kMostChanges = 1000000;
constexpr uint64_t kMostSeconds = 365ull * 24 * 3600;
constexpr const char* kWatch = "watch";

struct WatchOptions {
    bool json = false;
    uint64_t changes = 0;  // 0: no end
    uint64_t seconds = 0;  // 0: no end
};

void printList(const std::vector<ListedDrive>& drives, bool json) {
    if (json) {
        printListJson(drives);
    } else {
        printListText(drives);
        std::printf("\n");
    }
    // A reader at the other end of a pipe sees each list when it is whole.
    std::fflush(stdout);
}

class Deadline {
public:
    explicit Deadline(uint64_t seconds)
        : endless_(seconds == 0),
          end_(std::chrono::steady_clock::now() + std::chrono::seconds(seconds)) {}
    // Milliseconds left for a wait: -1 without end, 0 once passed.
    int leftMs() const {
        if (endless_) {
            return -1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end_ - std::chrono::steady_clock::now());
        return static_cast<int>(std::clamp<int64_t>(left.count(), 0, INT32_MAX));
    }

private:
    bool endless_;
    std::chrono::steady_clock::time_point end_;
};

// Reads the rest of a burst. False when a signal cancelled the wait.
bool settle(platform::I_DriveEvents& events) {
    for (int round = 0; round < kSettleRounds; ++round) {
        const Wake wake = waitReadableUnlessCancelled(events.fd(), kSettleMs);
        if (wake == Wake::Cancelled) {
            return false;
        }
        if (wake == Wake::TimedOut) {
            return true;
        }
        events.drain();
    }
    return true;
}

int watchDrives(platform::I_DriveEvents& events, const WatchOptions& options) {
    const Deadline deadline(options.seconds);
    std::vector<ListedDrive> shown = listWithLog();
    printList(shown, options.json);
    uint64_t changes = 0;
    while (options.changes == 0 || changes < options.changes) {
        const int left = deadline.leftMs();
        const Wake wake =
            left == 0 ? Wake::TimedOut : waitReadableUnlessCancelled(events.fd(), left);
        if (wake == Wake::Cancelled) {
            return cancelledExit(kWatch);
        }
        if (wake == Wake::TimedOut) {
            break;
        }
        if (!events.drain()) {
            continue;
        }
        if (!settle(events)) {
            return cancelledExit(kWatch);
        }
        std::vector<ListedDrive> now = listWithLog();
        if (now != shown) {
            shown = std::move(now);
            printList(shown, options.json);
            ++changes;
        }
    }
    if (options.changes != 0 && changes < options.changes) {
        return failWith(kWatch, "timed out after " + std::to_string(options.seconds) + " s with " +
                                    std::to_string(changes) + " of " +
                                    std::to_string(options.changes) + " changes");
    }
    return 0;
}

}  // namespace

// The list, then the list again each time a drive or medium comes or goes.
int runWatch(int argc, char** argv) {
    const CancelOnSignals cancelOnSignals;
    CommandLine line(kWatch, "The drive list, again each time drives or media come or go.");
    WatchOptions options;
    line.flag("--json", &options.json, "print each list as JSON, one line each");
    line.number("--changes", &options.changes, kMostChanges, "stop after N changed lists");
    line.number("--timeout", &options.seconds, kMostSeconds, "stop after N seconds");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    std::string why;
    const std::unique_ptr<platform::I_DriveEvents> events = platform::openDriveEvents(&why);
    if (!events) {
        return failWith(kWatch, why);
    }
    return watchDrives(*events, options);
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
    std::unique_ptr<LinuxDrive> disk =
        newLinuxDrive(static_cast<int>(drive), nullptr, kListingBufferBytes);
    const bool opened = disk != nullptr;
    const std::string link = opened ? driveLinkText(disk->driveLink()) : std::string();
    // Closed while the log is open, as it always was.
    disk.reset();
    closeLog();
    if (!opened) {
        return failWith("info", "drive " + std::to_string(drive) + " does not open");
    }
    // The block runs from its heading to "-"; the mount-points line follows the namespace
    // dump that the first open of a process writes.
    std::ifstream in(kRefreshLog);
    std::vector<std::string> lines;
    const std::string heading = "DEBUG INFO FOR DEVICE " + std::to_string(drive);
    const std::string mountLine = "mountPointsText " + std::to_string(drive) + ":";
    bool inBlock = false;
    for (std::string line; std::getline(in, line);) {
        if (line == heading) {
            lines.clear();
            inBlock = true;
        }
        if (inBlock || line.rfind(mountLine, 0) == 0) {
            lines.push_back(line);
        }
        inBlock = inBlock && line != "-";
    }
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    std::printf("link: %s\n", link.empty() ? "nothing known from sysfs" : link.c_str());
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
