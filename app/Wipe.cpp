#include "app/Wipe.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/RunView.h"
#include "base/DiagLog.h"
#include "storage/EventLog.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

constexpr uint32_t kMarkerBuffer = 8192;
constexpr uint32_t kWipeBytes = 65536;
constexpr uint64_t kProgressQuiet = 2048;  // no redraw at multiples of this many sectors
constexpr double kWipeShare = 1.15;
constexpr const char* kWipeStep = stepOf(StepKind::Wipe).name;

void noteStep(I_VornEventLog* eventLog, const char* first) {
    if (eventLog != nullptr) {
        eventLog->addNote(first);
        eventLog->addNote(kWipeStep);
    }
    logMessage("%s", first);
    logMessage("%s", kWipeStep);
}

void showWipeStart(I_RunView& view, I_VornEventLog* eventLog) {
    view.setRowState(RunRow::Test, RowState::Running);
    view.setProgress(0);
    view.setProgressVisible(true);
    view.setRowActive(RunRow::Test, true);
    noteStep(eventLog, "START -");
}

void showWipeEnd(I_RunView& view, bool ok, I_VornEventLog* eventLog) {
    view.setRowState(RunRow::Test, ok ? RowState::Passed : RowState::Failed);
    view.setProgressVisible(false);
    view.setRowActive(RunRow::Test, false);
    noteStep(eventLog, "END -");
}

// True when the directory entry counts as something stored on the medium: any
// directory, or a file that is not a dot-file.
bool countsAsContent(const std::filesystem::directory_entry& entry) {
    std::error_code error;
    if (entry.is_directory(error)) {
        return true;
    }
    const std::string name = entry.path().filename().string();
    return !name.empty() && name[0] != '.';
}

bool folderHasContent(const std::string& folder) {
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (countsAsContent(*it)) {
            return true;
        }
    }
    return false;
}

}  // namespace

uint64_t markerSector(uint64_t mediaSectors, int i) {
    if (mediaSectors == 0) {
        return 0;
    }
    const double place = static_cast<double>(mediaSectors) * 0.1 * i;
    const uint64_t last = mediaSectors - 1;
    // A double at or beyond 2^64 would not convert: it is past the end anyway.
    if (place >= static_cast<double>(last)) {
        return last;
    }
    return static_cast<uint64_t>(place);
}

bool wipeMarkers(I_VornDevice& device, MarkerMode mode) {
    const uint64_t sectors = device.mediaSectors();
    if (sectors == 0) {
        return false;
    }
    // One sector moves through the buffer, so it must hold the largest sector too.
    std::vector<uint8_t> buffer(std::max<uint32_t>(kMarkerBuffer, device.mediaBlockSize()));
    for (int i = 1; i <= kMarkerCount; ++i) {
        const uint64_t sector = markerSector(sectors, i);
        std::fill(buffer.begin(), buffer.end(), 0);
        if (mode == MarkerMode::Write) {
            std::memcpy(buffer.data(), kWipeMarker, sizeof kWipeMarker);
            (void)device.write(sector, 1, buffer.data());
        } else {
            (void)device.read(sector, 1, buffer.data());
            if (std::memcmp(buffer.data(), kWipeMarker, sizeof kWipeMarker) == 0) {
                return true;
            }
        }
    }
    return false;
}

uint64_t wipeRowSectors(uint64_t total, uint32_t sectorSize) {
    const uint64_t floor = sectorSize == 0 ? 1 : std::max<uint64_t>(1, kWipeRowBytes / sectorSize);
    return std::max(floor, (total + kWipeRows - 1) / kWipeRows);
}

bool wipeDevice(I_VornDevice& device, uint64_t limit, I_RunView& view, I_VornEventLog* eventLog) {
    showWipeStart(view, eventLog);
    const uint32_t sectorSize = device.mediaBlockSize();
    const uint64_t sectors = sectorSize == 0 ? 0 : device.mediaSectors();
    // A medium that no longer answers its size (pulled) gets no wipe: that fails,
    // it does not pass with nothing written.
    bool ok = sectors != 0;
    if (ok) {
        // Sectors larger than one request would give zero sectors per write and
        // never finish: such a medium is written one sector at a time.
        const uint32_t perWrite = std::max<uint32_t>(1, kWipeBytes / sectorSize);
        std::vector<uint8_t> zeros(std::max<uint32_t>(kWipeBytes, sectorSize), 0);
        uint64_t total =
            static_cast<uint64_t>(std::trunc(static_cast<double>(sectors) * kWipeShare));
        if (limit != 0 && limit < total) {
            total = limit;
        }
        if (eventLog != nullptr) {
            eventLog->summarizeWrites(wipeRowSectors(total, sectorSize));
        }
        uint64_t remaining = total;
        uint64_t position = 0;
        while (remaining > 0 && ok) {
            uint64_t n = std::min<uint64_t>(perWrite, remaining);
            if (position + n >= sectors) {
                n = sectors - position;
            }
            // The transfer buffer keeps the zeros after the first write: no copy per write.
            ok = device.write(position, static_cast<uint32_t>(n),
                              remaining == total ? zeros.data() : nullptr);
            position += n;
            if (position == sectors) {
                position = 0;
            }
            remaining -= n;
            if (view.cancelRequested()) {
                ok = false;
            }
            if (position % kProgressQuiet != 0) {
                const double done = 100.0 - static_cast<double>(remaining) * 100.0 / total;
                view.setProgress(static_cast<uint32_t>(std::trunc(done)));
            }
        }
        if (eventLog != nullptr) {
            eventLog->summarizeWrites(0);
        }
    }
    showWipeEnd(view, ok, eventLog);
    return ok;
}

bool deviceHasFiles(I_VornDevice& device) {
    const std::string_view mountPoints = device.mountPointsText();
    size_t begin = 0;
    while (begin <= mountPoints.size()) {
        size_t end = mountPoints.find(',', begin);
        if (end == std::string_view::npos) {
            end = mountPoints.size();
        }
        const std::string folder(mountPoints.substr(begin, end - begin));
        // An empty item names no mount point (not the current directory).
        if (!folder.empty() && folderHasContent(folder)) {
            return true;
        }
        begin = end + 1;
    }
    return false;
}

}  // namespace vorn
