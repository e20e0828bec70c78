#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/VornCollection.h"
#include "storage/StoredDrive.h"

// What the user tells about a run's set-up, and the drive it ran on, as a result stores
// them: the keys and encodings of the details and the device-information record.

namespace vorn {

// What the user tells about a test's set-up before a result is saved or sent.
struct ResultDetails {
    std::string device;  // the identification, saved as "DRIVEID" even when empty
    // 0 "USB 1.1" ... 5 "Other", saved as "QKCINT"; -1 when the user chose none, which
    // readers take as "Other".
    int busIndex = -1;
    std::string processor;
    std::string reader;
    std::string system;  // memo lines joined by "\r\n"
    std::string notes;   // likewise
};

// A stored text entry. An entry may be stored without value text, which readers tell
// apart from an empty text. The text ends at its first zero byte.
struct StoredText {
    std::string text;
    bool hasValue = false;
};

// The details as stored; absent entries stay empty.
struct StoredDetails {
    std::optional<StoredText> processor;  // "WPCUSRPROC"
    std::optional<StoredText> control;    // "WPCUSRCONTROL"
    std::optional<StoredText> reader;     // "QKCREADER"
    std::optional<StoredText> system;     // "WPCUSRSYSTEM"
    std::optional<StoredText> notes;      // "WPCUSRNOTES"
    std::optional<uint32_t> busIndex;     // "QKCINT", 4 little-endian bytes
};

// The text of an entry, empty when absent.
inline std::string textOf(const std::optional<StoredText>& entry) {
    return entry ? entry->text : std::string();
}

// "QKCINT" (only when chosen), "DRIVEID" and the non-empty texts, in that order.
[[nodiscard]] bool addDetails(I_VornCollection& file, const ResultDetails& details);
StoredDetails readDetails(I_VornCollection& result);

// A stored text cut to `capacity` - 1 characters, as a reader with a buffer of that
// many bytes sees it.
std::string cutText(const std::string& text, uint32_t capacity);

// The drive of a result, from its device-information record ("2KDEVINFO-*" and
// "DRIVEID"); nullptr when the record is incomplete.
std::shared_ptr<StoredDrive> readStoredDrive(I_VornCollection& result);

}  // namespace vorn
