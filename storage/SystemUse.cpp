#include "storage/SystemUse.h"

#include <filesystem>
#include <vector>

#include "storage/DriveCatalog.h"
#include "storage/MountTable.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

struct SystemMount {
    const char* point;
    const char* words;
};
constexpr SystemMount kSystemMounts[] = {
    {"/", "the root file system"},
    {"/boot", "/boot"},
    {"/boot/efi", "/boot/efi"},
    {"/usr", "/usr"},
};

std::string firstHolder(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder / "holders", ec), end; !ec && it != end;
         it.increment(ec)) {
        return it->path().filename().string();
    }
    return {};
}

std::string useOfDevice(const DriveCatalog& catalog, const fs::path& folder,
                        const std::string& name, const MountTable& mounts, bool partition) {
    for (const std::string& point : mounts.mountPointsOf(catalog.devNumber(name))) {
        for (const SystemMount& system : kSystemMounts) {
            if (point == system.point) {
                return system.words;
            }
        }
    }
    if (mounts.isSwap(catalog.devRoot() + "/" + name)) {
        return "active swap";
    }
    if (const std::string holder = firstHolder(folder); !holder.empty()) {
        return (partition ? "a partition in use by " : "storage in use by ") + holder;
    }
    return {};
}

}  // namespace

std::string systemUseOf(const DriveCatalog& catalog, const std::string& driveName,
                        const MountTable& mounts) {
    const fs::path disk = fs::path(catalog.sysfsRoot()) / "block" / driveName;
    if (std::string use = useOfDevice(catalog, disk, driveName, mounts, false); !use.empty()) {
        return use;
    }
    for (const std::string& part : catalog.partitions(driveName)) {
        if (std::string use = useOfDevice(catalog, disk / part, part, mounts, true); !use.empty()) {
            return use;
        }
    }
    return {};
}

}  // namespace vorn
