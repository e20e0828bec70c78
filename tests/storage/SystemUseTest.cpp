// Which drives carry the running system: mounts, swap and holders on the disk or one
// of its partitions.

#include "storage/SystemUse.h"

#include <gtest/gtest.h>

#include "storage/MountTable.h"
#include "support/FakeSysfs.h"

namespace vorn::test {
namespace {

TEST(SystemUse, NamesWhatTiesADriveToTheSystem) {
    const struct {
        const char* label;
        const char* device;  // "sdb" (the disk) or "sdb1"
        const char* mount;   // mount point, or nullptr
        const char* holder;  // holder, or nullptr
        const char* use;
    } cases[] = {
        {"nothing", "sdb1", nullptr, nullptr, ""},
        {"a user's mount", "sdb1", "/media/user/KEY", nullptr, ""},
        {"root", "sdb1", "/", nullptr, "the root file system"},
        {"/boot", "sdb1", "/boot", nullptr, "/boot"},
        {"/boot/efi", "sdb1", "/boot/efi", nullptr, "/boot/efi"},
        {"/usr on the whole disk", "sdb", "/usr", nullptr, "/usr"},
        {"a folder below root", "sdb1", "/usr/local", nullptr, ""},
        {"raid member disk", "sdb", nullptr, "md0", "storage in use by md0"},
        {"lvm partition", "sdb1", nullptr, "dm-1", "a partition in use by dm-1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FakeSysfs tree;
        tree.addDisk(FakeSysfs::usbKey480());
        if (c.mount != nullptr) {
            tree.addMount(tree.catalog().devNumber(c.device), c.mount);
        }
        if (c.holder != nullptr) {
            tree.addHolder(c.device, c.holder);
        }
        const MountTable mounts = MountTable::load(tree.mountinfoPath(), tree.swapsPath());
        EXPECT_EQ(systemUseOf(tree.catalog(), "sdb", mounts), c.use);
    }
}

}  // namespace
}  // namespace vorn::test
