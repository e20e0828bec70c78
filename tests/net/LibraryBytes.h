#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/Collections.h"
#include "results/LibraryWriter.h"
#include "support/TempDir.h"

namespace vorn::test {

// The bytes of a sound library of `members` small result files, as the maker's
// server would hold it.
inline std::string libraryBytes(int members) {
    TempDir scratch;
    std::vector<std::string> paths;
    for (int i = 0; i < members; ++i) {
        paths.push_back(scratch.file("member" + std::to_string(i) + ".qkt"));
        auto file = createCollection(paths.back().c_str());
        EXPECT_TRUE(file && file->addEntry("VERSION", "1.0.0.1", 0, nullptr) &&
                    file->addEntry("DRIVEID", ("Drive " + std::to_string(i)).c_str(), 0, nullptr));
    }
    std::vector<std::string> problems;
    EXPECT_TRUE(writeLibrary(scratch.file("lib.qkl"), paths, &problems));
    return scratch.read("lib.qkl");
}

}  // namespace vorn::test
