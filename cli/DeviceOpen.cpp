#include "cli/DeviceOpen.h"

#include "base/DiagLog.h"
#include "storage/Win2kDisk.h"

namespace vorn::cli {

std::unique_ptr<Win2kDisk> openTarget(ArgParser& args, I_VornEventLog* log, uint32_t bufferSize) {
    uint64_t drive = 0;
    std::string path;
    const bool byNumber = args.takeUnsigned("--drive", &drive, 255);
    const bool byPath = args.takeValue("--device", &path);
    if (!args.ok()) {
        return nullptr;
    }
    if (byNumber == byPath) {
        args.fail("give either --drive N or --device PATH");
        return nullptr;
    }
    auto disk = byNumber ? newWin2kDisk(static_cast<int>(drive), log, bufferSize)
                         : newWin2kDiskForPath(path, log, bufferSize);
    if (!disk) {
        args.fail(byNumber ? "drive " + std::to_string(drive) + " does not open"
                           : "'" + path + "' does not open");
    }
    return disk;
}

ScopedLog::ScopedLog(const char* fileName) {
    openLog(fileName);
}
ScopedLog::~ScopedLog() {
    closeLog();
}

}  // namespace vorn::cli
