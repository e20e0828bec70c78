#pragma once

#include <string>

namespace vorn {

class I_DriveFacts;

// The one line by which a device is listed: its mount points, its identification
// and its capacity in decimal units, e.g. "(/media/key) SanDisk Cruzer 1.0 (2.0GB)".
// The device is asked for its sectors, block size, identification and mount points, in
// that order.
std::string deviceListText(I_DriveFacts& device);

}  // namespace vorn
