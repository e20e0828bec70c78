#include "cli/DeviceOpen.h"

#include "base/DiagLog.h"
#include "cli/CliSupport.h"
#include "storage/EventLog.h"
#include "storage/LinuxDrive.h"

namespace vorn::cli {

void addTargetOptions(CommandLine& line, Target* target) {
    line.number("--drive", &target->drive, 255, "the drive's number, as list shows it");
    line.text("--device", &target->path, "a block device or image file", "PATH");
}

std::unique_ptr<LinuxDrive> openTarget(const CommandLine& line, const Target& target,
                                       I_VornEventLog* log, uint32_t bufferSize,
                                       std::string* error) {
    const bool byNumber = line.given("--drive");
    if (byNumber == line.given("--device")) {
        *error = "give either --drive N or --device PATH";
        return nullptr;
    }
    auto disk = byNumber ? newLinuxDrive(static_cast<int>(target.drive), log, bufferSize)
                         : newLinuxDriveForPath(target.path, log, bufferSize);
    if (!disk) {
        *error = byNumber ? "drive " + std::to_string(target.drive) + " does not open"
                          : "'" + target.path + "' does not open";
    }
    return disk;
}

std::optional<int> readyForTransfers(LinuxDrive& disk, const char* command) {
    if (std::string why; !disk.openForTransfers(why)) {
        return failWith(command, std::string(disk.getDevicePath()) + ": " + why);
    }
    return std::nullopt;
}

ScopedLog::ScopedLog(const char* fileName) {
    openLog(fileName);
}
ScopedLog::~ScopedLog() {
    closeLog();
}

}  // namespace vorn::cli
