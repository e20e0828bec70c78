#pragma once

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace vorn::test {

// Runs the test in a fresh folder as the current directory, where the run leaves
// its files, and goes back afterwards.
class InTempFolder {
public:
    InTempFolder() : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder.path());
    }
    ~InTempFolder() { std::filesystem::current_path(previous_); }
    InTempFolder(const InTempFolder&) = delete;
    InTempFolder& operator=(const InTempFolder&) = delete;

    bool has(const std::string& name) const { return std::filesystem::exists(folder.file(name)); }
    std::string read(const std::string& name) const { return folder.read(name); }

    TempDir folder;

private:
    std::filesystem::path previous_;
};

}  // namespace vorn::test
