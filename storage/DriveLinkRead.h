#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "storage/DriveLink.h"

namespace vorn {

// The link a disk runs on and its medium's identity, from the files of its resolved
// sysfs path that any user may read ("<sysfs>/block/sdb" leads to the USB device, or
// "<sysfs>/block/mmcblk0" to the card). Nothing when the disk is neither on USB nor a
// native card, or the path does not resolve.
std::optional<DriveLink> readDriveLink(const std::string& sysfsRoot, const std::string& blockPath);

// The claims of an SD Status as the kernel prints it: 128 hex digits, bit 511 first.
// Nothing when the text is not exactly that; a code the card may not use reads as 0.
std::optional<SdClaims> decodeSdStatus(std::string_view hex);

// A USB disk that is a card reader: its SCSI model or USB product names a reader or a
// card ("Reader", "Card", "SD", "MMC", "microSD", ...), or it holds no medium (a
// stick always carries its own).
bool looksLikeCardReader(std::string_view scsiModel, std::string_view usbProduct, bool hasMedium);

}  // namespace vorn
