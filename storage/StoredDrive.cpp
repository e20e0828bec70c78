#include "storage/StoredDrive.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "base/DiagLog.h"
#include "base/VornCollection.h"
#include "storage/Descriptors.h"
#include "storage/DriveCatalog.h"

namespace vorn {
namespace {

constexpr uint32_t kAdapterBytes = 32;
constexpr uint32_t kInfoBytes = sizeof(DeviceInfoData);

struct Lengths {
    uint32_t text = 0;
    uint32_t data = 0;
};

// The first of the two reads of an entry: its stored lengths, nothing copied.
bool queryLengths(I_VornCollection& collection, const std::string& key, Lengths* lengths) {
    uint32_t text = 0;
    uint32_t data = 0;
    const bool found = collection.findEntry(key.c_str(), &text, nullptr, &data, nullptr);
    *lengths = found ? Lengths{text, data} : Lengths{};
    return found;
}

bool readData(I_VornCollection& collection, const char* key, void* buffer, uint32_t length) {
    uint32_t text = 0;
    uint32_t data = length;
    return collection.findEntry(key, &text, nullptr, &data, buffer);
}

// Reads a text value into a buffer of `capacity` bytes that always ends terminated,
// a longer value cut to capacity - 1 characters.
bool readText(I_VornCollection& collection, const char* key, char* buffer, uint32_t capacity) {
    std::memset(buffer, 0, capacity);
    uint32_t text = capacity;
    uint32_t data = 0;
    const bool found = collection.findEntry(key, &text, buffer, &data, nullptr);
    buffer[capacity - 1] = '\0';
    return found;
}

// A text entry of any length, read with a buffer of its stored length (which counts
// the value's terminating zero) and one spare zero byte.
bool readOwnedText(I_VornCollection& collection, const std::string& key, uint32_t length,
                   std::optional<std::string>* out) {
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    const bool read = readText(collection, key.c_str(), buffer.data(), length + 1);
    *out = std::string(buffer.data());
    return read;
}

}  // namespace

StoredDrive::StoredDrive() = default;

bool StoredDrive::load(I_VornCollection& collection, const char* prefix) {
    const std::string base = prefix != nullptr ? prefix : kDefaultDevicePrefix;
    bool loaded = loadRecord(collection, base);

    raidPresent_ = false;
    raidCount_ = 0;
    raidLevel_ = 0;
    raidDriveBus_ = 0;
    raidDrives_.fill('\0');
    raidController_.fill('\0');
    const bool hasDriveId = readText(collection, kDriveIdKey, driveId_.data(), kTextSize);
    loaded = loaded && hasDriveId;

    uint32_t level = 0;
    if (readData(collection, "RAIDLEVEL", &level, sizeof level)) {
        raidLevel_ = level;
        raidPresent_ = true;
        loadRaid(collection);
    }
    return loaded;
}

// The five record entries. Each length query always happens; once one step has
// failed, the content reads of the later entries are skipped.
bool StoredDrive::loadRecord(I_VornCollection& collection, const std::string& prefix) {
    bool loaded = true;
    Lengths lengths;
    auto found = [&](const std::string& key) {
        const bool present = queryLengths(collection, key, &lengths);
        loaded = loaded && present;
        return loaded;
    };

    const std::string sdd = prefix + "-sdd";
    if (found(sdd)) {
        deviceDescriptor_.emplace(lengths.data, uint8_t{0});
        loaded = readData(collection, sdd.c_str(), deviceDescriptor_->data(), lengths.data);
    }
    const std::string add = prefix + "-add";
    if (found(add) && lengths.data == kAdapterBytes) {
        std::array<uint8_t, kAdapterBytes> adapter{};
        loaded = readData(collection, add.c_str(), adapter.data(), kAdapterBytes);
        adapterDescriptor_ = adapter;
    }
    const std::string hid = prefix + "-hid";
    if (found(hid)) {
        loaded = readOwnedText(collection, hid, lengths.text, &hardwareId_);
    }
    const std::string dpath = prefix + "-dpath";
    if (found(dpath)) {
        loaded = readOwnedText(collection, dpath, lengths.text, &devicePath_);
    }
    const std::string data = prefix + "-data";
    if (found(data) && lengths.data == kInfoBytes) {
        DeviceInfoData info{};
        loaded = readData(collection, data.c_str(), &info, kInfoBytes);
        info_ = info;
    }
    return loaded;
}

// The RAID entries describe the set the result came from; missing ones stay empty.
void StoredDrive::loadRaid(I_VornCollection& collection) {
    int32_t count = 0;
    if (readData(collection, "RAIDCOUNT", &count, sizeof count)) {
        raidCount_ = count;
    }
    uint32_t bus = 0;
    if (readData(collection, "RAIDDRBUS", &bus, sizeof bus)) {
        raidDriveBus_ = bus;
    }
    (void)readText(collection, "RAIDDRIVES", raidDrives_.data(), kTextSize);
    (void)readText(collection, "RAIDCONTROLLER", raidController_.data(), kTextSize);
}

const char* StoredDrive::deviceId() {
    if (raidPresent_) {
        buildRaidDescription();
    }
    return driveId_.data();
}

void StoredDrive::buildRaidDescription() {
    char level[16] = "";
    if (raidLevel_ <= 10) {
        std::snprintf(level, sizeof level, "RAID(%d): ", static_cast<int>(raidLevel_));
    } else if (raidLevel_ == 11) {
        std::snprintf(level, sizeof level, "RAID(0+1): ");
    }
    const char* bus = busTypeName(raidDriveBus_);
    // Cut at the text's size: drives and controller may each fill it alone.
    const int written = std::snprintf(driveId_.data(), kTextSize, "%s%s, %s, %dx %s", level,
                                      bus != nullptr ? bus : "", raidController_.data(),
                                      static_cast<int>(raidCount_), raidDrives_.data());
    if (written < 0) {
        driveId_[0] = '\0';
    }
}

uint32_t StoredDrive::deviceBusType() {
    // A stored descriptor is whatever the file holds: too short means no bus type.
    if (!deviceDescriptor_) {
        return 0;
    }
    return descriptorU32(deviceDescriptor_->data(),
                         static_cast<uint32_t>(deviceDescriptor_->size()), kDescBusType);
}

std::unique_ptr<StoredDrive> newStoredDisk(I_VornCollection* collection, const char* prefix) {
    if (collection == nullptr) {
        return nullptr;
    }
    try {
        auto disk = std::make_unique<StoredDrive>();
        if (!disk->load(*collection, prefix)) {
            return nullptr;
        }
        return disk;
    } catch (const std::exception& exception) {
        // A damaged file can claim entries too large to hold in memory.
        logException("newStoredDisk", exception);
        return nullptr;
    }
}

}  // namespace vorn
