#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/CommandLine.h"

namespace vorn {
class I_VornEventLog;
class LinuxDrive;
}  // namespace vorn

namespace vorn::cli {

// The drive a command works on: "--drive N" or "--device PATH", exactly one.
struct Target {
    uint64_t drive = 0;
    std::string path;
};

void addTargetOptions(CommandLine& line, Target* target);

// Opens the target named on the parsed line; nullptr with *error set when that fails.
std::unique_ptr<LinuxDrive> openTarget(const CommandLine& line, const Target& target,
                                       I_VornEventLog* log, uint32_t bufferSize,
                                       std::string* error);

// Opens the descriptor the transfers need: a normal user's drive comes through
// udisks2 now, where polkit may refuse. The command's exit code when that fails (the
// reason printed), nothing when the drive is ready.
std::optional<int> readyForTransfers(LinuxDrive& disk, const char* command);

// Keeps a diagnostic log open for the length of a command.
class ScopedLog {
public:
    explicit ScopedLog(const char* fileName);
    ~ScopedLog();
    ScopedLog(const ScopedLog&) = delete;
    ScopedLog& operator=(const ScopedLog&) = delete;
};

}  // namespace vorn::cli
