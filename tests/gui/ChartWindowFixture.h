#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "results/Collections.h"
#include "support/TempDir.h"
#include "view/ChartResults.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {

// A chart window and a folder for the result files it is given: each stored result is
// written to a file of its own and opened from there, as the window opens them.
class ChartWindowFixture : public ::testing::Test {
protected:
    std::unique_ptr<I_VornCollection> open(const StoredResult& stored) {
        const std::string path = folder_.file("r" + std::to_string(files_++) + ".qkc");
        EXPECT_TRUE(writeResultFile(path, stored));
        return openCollection(path.c_str());
    }
    void add(const StoredResult& stored) { ASSERT_TRUE(window_.addResult(open(stored))); }

    TempDir folder_;
    int files_ = 0;
    TQkVornChart window_;
};

}  // namespace vorn::test
