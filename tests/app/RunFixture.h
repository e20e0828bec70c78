#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RunJob.h"
#include "results/Collections.h"
#include "results/RunSteps.h"
#include "storage/EventLog.h"
#include "storage/LinuxDrive.h"
#include "support/InTempFolder.h"
#include "support/MemoryDevice.h"
#include "support/TempDir.h"

namespace vorn::test {

// The device list as the main window fills it from a catalog.
inline std::vector<DeviceEntry> listedDrives(const DriveCatalog& catalog) {
    std::vector<DeviceEntry> entries;
    for (int n = 0; n <= 30; ++n) {
        if (auto disk = newLinuxDrive(n, nullptr, 65536, catalog)) {
            entries.push_back({listEntryText(*disk), n});
        }
    }
    return entries;
}

// One entry of a result: name, value text (with its zero byte) and data.
struct StoredEntry {
    std::string name;
    std::string value;
    std::string data;
    bool operator==(const StoredEntry&) const = default;
};

// Every entry of a result's current member, in order, as its reader answers them.
inline std::vector<StoredEntry> entriesOf(I_VornCollection& result) {
    std::vector<StoredEntry> entries;
    char name[kEntryNameBuffer];
    for (bool more = result.firstEntry(name); more; more = result.nextEntry(name)) {
        uint32_t valueSize = 0, dataSize = 0;
        if (!result.readCurrentEntry(&valueSize, nullptr, &dataSize, nullptr)) {
            entries.push_back({name, "(unreadable)", {}});
            break;
        }
        StoredEntry entry{name, std::string(valueSize, '\0'), std::string(dataSize, '\0')};
        if (!result.readCurrentEntry(&valueSize, entry.value.data(), &dataSize,
                                     entry.data.data())) {
            entries.push_back({name, "(unreadable)", {}});
            break;
        }
        entries.push_back(std::move(entry));
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

// The run's own entries of a result file, in file order, before the device record:
// every stored step of the table that ran, the access tests after the zoned ones.
inline std::vector<std::string> runEntryNames(bool writeTest) {
    std::vector<std::string> names = {"VERSION", kDriveIdKey};
    for (const RunStep& step : kRunSteps) {
        const bool ran = step.kind != StepKind::Write || writeTest;
        const bool classic = step.kind != StepKind::Capacity && !isExtended(step.kind);
        if (step.resultKey != nullptr && classic && ran) {
            names.push_back(step.resultKey);
        }
    }
    names.push_back("QKCTIME");
    return names;
}

// A press on an image file, listed and opened by its path as `run --device` does.
inline RunJobRequest imageRequest(const std::string& image) {
    RunJobRequest request;
    auto sample = newLinuxDriveForPath(image, nullptr, 65536);
    EXPECT_NE(sample, nullptr) << image;
    if (!sample) {
        return request;
    }
    request.entries = {{listEntryText(*sample), 0}};
    request.selected = 0;
    request.opener = [image](int, I_VornEventLog* log, uint32_t size) {
        return std::unique_ptr<I_VornDevice>(newLinuxDriveForPath(image, log, size));
    };
    return request;
}

// A memory device handed out by the opener; what it saw is kept when the run
// closes it.
class KeptDevice : public MemoryDevice {
public:
    KeptDevice(Options options, std::function<void(KeptDevice&)> onClose)
        : MemoryDevice(std::move(options)), onClose_(std::move(onClose)) {}
    ~KeptDevice() override { onClose_(*this); }

private:
    std::function<void(KeptDevice&)> onClose_;
};

struct MemoryRun {
    MemoryDevice::Options options{.sectors = 32768};  // 16 MB
    std::function<void(KeptDevice&)> prepare;         // scripting before the press
    std::vector<Transfer> transfers;
    std::vector<uint8_t> medium;
    bool closed = false;
    bool claimed = false;  // the run took the device for its writes
    uint64_t writes = 0;   // writes that reached the device

    RunJobRequest request(bool writeTest, bool extended = false) {
        MemoryDevice sample(options);
        RunJobRequest r;
        r.entries = {{listEntryText(sample), 4}};
        r.selected = 0;
        r.writeTest = writeTest;
        r.extended = extended;
        r.opener = [this, extended](int number, I_VornEventLog* log,
                                    uint32_t bufferSize) -> std::unique_ptr<I_VornDevice> {
            EXPECT_EQ(number, 4);
            // Eight 1 MiB transfers in flight for the extended tests.
            EXPECT_EQ(bufferSize, extended ? 8388608u : 524288u);
            MemoryDevice::Options opened = options;
            opened.bufferSize = bufferSize;
            auto device = std::make_unique<KeptDevice>(opened, [this](KeptDevice& d) {
                transfers = d.transfers();
                medium = d.medium();
                claimed = d.claimed();
                writes = d.writeCount();
                closed = true;
            });
            device->attachObserver(log);
            if (prepare) {
                prepare(*device);
            }
            return device;
        };
        return r;
    }
};

}  // namespace vorn::test
