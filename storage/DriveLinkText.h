#pragma once

#include <cstdint>
#include <string>

#include "storage/DriveLink.h"

namespace vorn {

// One line for a user about what a drive runs on and what its medium says of itself,
// e.g. "USB 3.0 device at 5 Gbit/s (UAS)" or "SD card SanDisk SN64G (manufactured
// 2023-05), allocation unit 4 MiB; claims: Class 10, U3, V30, A2". Empty when nothing
// is known.
std::string driveLinkText(const DriveLink& link);

// "1.5 Mbit/s", "480 Mbit/s", "5 Gbit/s"; empty for 0.
std::string linkSpeedText(uint32_t kbps);

// The maker of a card by its CID manufacturer id; empty when not known.
std::string cardMakerName(uint32_t manfid);

}  // namespace vorn
