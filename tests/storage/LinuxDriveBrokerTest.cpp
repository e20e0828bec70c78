#include "storage/LinuxDriveBroker.h"

#include <fcntl.h>
#include <gtest/gtest.h>

namespace vorn {
namespace {

TEST(DescriptorFlags, NamesWhatTheTimingDependsOn) {
    EXPECT_EQ(descriptorFlagsText(O_RDWR | O_DIRECT), "O_RDWR|O_DIRECT");
    EXPECT_EQ(descriptorFlagsText(O_RDONLY), "O_RDONLY");
    // O_SYNC shares its bit with O_DSYNC: one name, not both.
    EXPECT_EQ(descriptorFlagsText(O_WRONLY | O_SYNC), "O_WRONLY|O_SYNC");
    EXPECT_EQ(descriptorFlagsText(O_RDWR | O_DSYNC), "O_RDWR|O_DSYNC");
    EXPECT_EQ(descriptorFlagsText(-1), "unknown");
}

}  // namespace
}  // namespace vorn
