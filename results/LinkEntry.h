#pragma once

#include <optional>
#include <string>

#include "base/VornCollection.h"
#include "storage/DriveLink.h"

// The link the drive ran on and its medium's identity, stored under "QKXLINK" after
// every other entry of a run. Value text: "name=value" fields joined by ";", the names
// "reader", "usb.*" and "card.*"; "%", ";", "=" and control characters inside a value
// as "%XX". "reader" is always there, so a drive with nothing known stores "reader=0".
// A part (usb or card) is there with all its fields or not at all.

namespace vorn {

inline constexpr const char* kLinkKey = "QKXLINK";

std::string linkEntryText(const DriveLink& link);
// Nothing when the text is malformed: a field without "=", a bad escape, a name twice,
// a part with fields missing or a number out of range. Names it does not know are
// skipped, so a later writer may add some.
std::optional<DriveLink> parseLinkEntry(const std::string& text);

[[nodiscard]] bool addLinkEntry(I_VornCollection& file, const DriveLink& link);
// Nothing when absent or malformed.
std::optional<DriveLink> readLinkEntry(I_VornCollection& result);

}  // namespace vorn
