#pragma once

#include <cstdint>

#include "results/RunSteps.h"

namespace vorn {

class I_RunView;
class I_VornDevice;
class I_VornEventLog;

// A write test leaves these five bytes at the start of ten sectors spread over the
// medium, so the next write test of the same medium can skip the full wipe.
inline constexpr char kWipeMarker[5] = {'Q', 'K', 'V', 'O', 'R'};
inline constexpr int kMarkerCount = 10;

// Sector of marker i (1 ... kMarkerCount): trunc(sectors x 0.1 x i) in floating
// point, kept inside the medium (so the tenth is the last sector).
uint64_t markerSector(uint64_t mediaSectors, int i);

enum class MarkerMode { Check, Write };

// Check: true when any marker sector starts with the marker. Write: writes all ten
// (results not looked at) and answers false.
bool wipeMarkers(I_VornDevice& device, MarkerMode mode);

// Writes zeros from sector 0 on, 115 % of the medium in all (wrapping back to the
// start at the end), or only `limit` sectors when that is less (0 = no limit). Shown
// on the test row; the view's cancel flag stops it after the current write. True
// when every write succeeded and nobody cancelled. With an event log, notes mark its
// start and end, and its writes are kept as at most about kWipeRows rows.
bool wipeDevice(I_VornDevice& device, uint64_t limit, I_RunView& view,
                I_VornEventLog* eventLog = nullptr);

// A wipe row holds at least 16 MB, and a whole wipe gives at most about kWipeRows rows.
inline constexpr uint64_t kWipeRowBytes = 16u << 20;
// Sectors per event-log row for a wipe of `total` sectors.
uint64_t wipeRowSectors(uint64_t total, uint32_t sectorSize);

// True when any mount point of the device holds a directory or a file that is not a
// dot-file (the hidden files of this system). Unreadable mount points hold nothing.
bool deviceHasFiles(I_VornDevice& device);

}  // namespace vorn
