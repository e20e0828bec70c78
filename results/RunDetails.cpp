#include "results/RunDetails.h"

#include <vector>

#include "base/LittleEndian.h"

namespace vorn {
namespace {

bool addNumber(I_VornCollection& file, const char* name, int32_t number) {
    unsigned char bytes[4];
    storeLe32(bytes, static_cast<uint32_t>(number));
    return file.addEntry(name, nullptr, sizeof bytes, bytes);
}

// Empty texts are left out.
bool addText(I_VornCollection& file, const char* name, const std::string& text) {
    return text.empty() || file.addEntry(name, text.c_str(), 0, nullptr);
}

std::optional<StoredText> storedText(I_VornCollection& result, const char* key) {
    uint32_t valueLength = 0;
    uint32_t dataLength = 0;
    if (!result.findEntry(key, &valueLength, nullptr, &dataLength, nullptr)) {
        return std::nullopt;
    }
    if (valueLength == 0) {
        return StoredText{};
    }
    std::vector<char> buffer(static_cast<size_t>(valueLength) + 1, '\0');
    uint32_t valueCapacity = valueLength;
    dataLength = 0;
    if (!result.findEntry(key, &valueCapacity, buffer.data(), &dataLength, nullptr)) {
        return std::nullopt;
    }
    return StoredText{std::string(buffer.data()), true};
}

std::optional<uint32_t> storedWord(I_VornCollection& result, const char* key) {
    unsigned char bytes[4] = {};
    uint32_t valueCapacity = 0;
    uint32_t dataCapacity = sizeof bytes;
    if (!result.findEntry(key, &valueCapacity, nullptr, &dataCapacity, bytes) ||
        dataCapacity < sizeof bytes) {
        return std::nullopt;
    }
    return loadLe32(bytes);
}

}  // namespace

bool addDetails(I_VornCollection& file, const ResultDetails& details) {
    return (details.busIndex < 0 || addNumber(file, "QKCINT", details.busIndex)) &&
           file.addEntry(kDriveIdKey, details.device.c_str(), 0, nullptr) &&
           addText(file, "WPCUSRPROC", details.processor) &&
           addText(file, "QKCREADER", details.reader) &&
           addText(file, "WPCUSRSYSTEM", details.system) &&
           addText(file, "WPCUSRNOTES", details.notes);
}

StoredDetails readDetails(I_VornCollection& result) {
    StoredDetails details;
    details.processor = storedText(result, "WPCUSRPROC");
    details.control = storedText(result, "WPCUSRCONTROL");
    details.reader = storedText(result, "QKCREADER");
    details.system = storedText(result, "WPCUSRSYSTEM");
    details.notes = storedText(result, "WPCUSRNOTES");
    details.busIndex = storedWord(result, "QKCINT");
    return details;
}

std::string cutText(const std::string& text, uint32_t capacity) {
    return capacity == 0 ? std::string() : text.substr(0, capacity - 1);
}

std::shared_ptr<StoredDrive> readStoredDrive(I_VornCollection& result) {
    return std::shared_ptr<StoredDrive>(newStoredDisk(&result));
}

}  // namespace vorn
