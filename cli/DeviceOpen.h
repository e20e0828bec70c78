#pragma once

#include <memory>
#include <string>

#include "cli/CliSupport.h"

namespace vorn {
class I_VornEventLog;
class Win2kDisk;
}  // namespace vorn

namespace vorn::cli {

// Opens the drive named by "--drive N" or "--device PATH" (exactly one of them);
// nullptr with the parser's error set when that fails.
std::unique_ptr<Win2kDisk> openTarget(ArgParser& args, I_VornEventLog* log, uint32_t bufferSize);

// Keeps a diagnostic log open for the length of a command.
class ScopedLog {
public:
    explicit ScopedLog(const char* fileName);
    ~ScopedLog();
    ScopedLog(const ScopedLog&) = delete;
    ScopedLog& operator=(const ScopedLog&) = delete;
};

}  // namespace vorn::cli
