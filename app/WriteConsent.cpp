#include "app/WriteConsent.h"

#include <string>

#include "app/Wipe.h"
#include "base/Dialogs.h"
#include "storage/DeviceListText.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

constexpr const char* kNoMedia =
    "No media in device, insert media and press refresh or select a new device.";
constexpr const char* kRemovableOnly = "QK Vorn supports only removable media devices.";
constexpr const char* kCannotWrite =
    "Write has been enabled, but QK Vorn can not write to this device.";
constexpr const char* kOverwriteWarning =
    "You have chosen to do a write test on a removable drive.  The QK Vorn write test "
    "overwrites data and all data on this removable drive WILL be lost.  Continue test?";
constexpr const char* kFilesFound =
    "QK Vorn has found files on this device, perform write test anyway?";

}  // namespace

bool mediumAccepted(I_VornDevice& device, I_Dialogs& dialogs) {
    if (!device.mediaPresent() || device.mediaSectors() == 0) {
        dialogs.error(kNoMedia);
        return false;
    }
    if (!device.deviceRemovable()) {
        dialogs.error(kRemovableOnly);
        return false;
    }
    return true;
}

namespace {

bool confirmOverwrite(I_VornDevice& device, I_Dialogs& dialogs, const std::string& question) {
    if (const std::string use = device.writeRefusal(); !use.empty()) {
        dialogs.error("QK Vorn will not write to this drive: it holds " + use + ".");
        return false;
    }
    if (!armWrites(device)) {
        dialogs.error(kCannotWrite);
        return false;
    }
    const std::string drive = deviceListText(device);
    if (device.deviceRemovable() && !dialogs.destructiveQuestion(question, drive)) {
        return false;
    }
    if (deviceHasFiles(device) && !dialogs.destructiveQuestion(kFilesFound, drive)) {
        return false;
    }
    return true;
}

}  // namespace

bool confirmWriteTest(I_VornDevice& device, I_Dialogs& dialogs) {
    return confirmOverwrite(device, dialogs, kOverwriteWarning);
}

bool confirmCapacityCheck(I_VornDevice& device, I_Dialogs& dialogs) {
    return confirmOverwrite(device, dialogs,
                            "The capacity check will overwrite all data on this drive; it WILL "
                            "be lost.  Continue?");
}

bool claimDeviceForWrite(I_VornDevice& device, I_Dialogs& dialogs, const char* purpose) {
    if (std::string why; !device.claimForWrite(why)) {
        dialogs.error(std::string("QK Vorn cannot take this drive for ") + purpose + ": " + why +
                      ". Nothing was written.");
        return false;
    }
    return true;
}

}  // namespace vorn
