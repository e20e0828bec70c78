#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "results/Collections.h"
#include "support/TempDir.h"
#include "view/ChartModel.h"
#include "view/ChartResults.h"

namespace vorn::test {

// Writes each result to a file, opens them all and builds the model.
class ChartFilesTest : public ::testing::Test {
protected:
    ChartModel build(const std::vector<StoredResult>& results) {
        opened_.clear();
        std::vector<I_VornCollection*> pointers;
        for (size_t i = 0; i < results.size(); ++i) {
            const std::string path = folder_.file("r" + std::to_string(i) + ".qkc");
            EXPECT_TRUE(writeResultFile(path, results[i]));
            opened_.push_back(openCollection(path.c_str()));
            EXPECT_NE(opened_.back(), nullptr);
            pointers.push_back(opened_.back().get());
        }
        return buildChartModel(pointers);
    }

    ChartDevice buildOne(const StoredResult& result) {
        ChartModel model = build({result});
        EXPECT_EQ(model.devices.size(), 1u);
        return model.devices.empty() ? ChartDevice{} : model.devices[0];
    }

    TempDir folder_;
    std::vector<std::unique_ptr<I_VornCollection>> opened_;
};

}  // namespace vorn::test
