#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/RunTestClick.h"
#include "results/VornCollection.h"
#include "storage/Win2kDisk.h"
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

// Records what the run asked of the windows.
class RecordingHost : public I_RunHost {
public:
    void hideMainWindow() override { ++hidden; }
    void showTestResults(bool writeTest) override {
        ++resultsShown;
        uploadAllowed = writeTest;
    }
    int hidden = 0;
    int resultsShown = 0;
    bool uploadAllowed = false;
};

// The device list as the main window fills it from a catalog.
inline std::vector<DeviceEntry> listedDrives(const DriveCatalog& catalog) {
    std::vector<DeviceEntry> entries;
    for (int n = 0; n <= 30; ++n) {
        if (auto disk = newWin2kDisk(n, nullptr, 65536, catalog)) {
            entries.push_back({listEntryText(*disk), n});
        }
    }
    return entries;
}

// Entry names of a result file in file order.
inline std::vector<std::string> entryNames(const std::string& path) {
    std::vector<std::string> names;
    auto file = openCollection(path.c_str());
    char name[kEntryNameBuffer];
    if (file && file->firstEntry(name)) {
        do {
            names.emplace_back(name);
        } while (file->nextEntry(name));
    }
    return names;
}

}  // namespace vorn::test
