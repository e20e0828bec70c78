#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "results/BenchmarkEntries.h"
#include "results/Collections.h"
#include "results/ResultBytes.h"

namespace vorn::test {
namespace {

std::string sampleResult(const std::string& id) {
    return resultBytes({{"VERSION", "1.0.0.1"}, {"DRIVEID", id}, {"QKCTIME", {}, le32(1000 + 7)}});
}

size_t filesIn(const TempDir& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& file : std::filesystem::directory_iterator(folder.path())) {
        ++count;
    }
    return count;
}

TEST(LibraryCommandTest, BundlesEveryFileByteForByte) {
    TempDir folder;
    const std::vector<std::string> members = {sampleResult("one"), sampleResult("two"),
                                              sampleResult("three")};
    folder.write("a.qkc", members[0]);
    folder.write("b.qkc", members[1]);
    // Bytes past a result's own length are not part of it.
    folder.write("temp.qkt", members[2] + "tail");

    const CliRun run = runCli(folder.path(), "library out.qkl a.qkc b.qkc temp.qkt");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(folder.read("out.qkl"), libraryBytes(members));

    const std::vector<BenchmarkEntry> rows = loadEntries(folder.path(), "*.qkl");
    ASSERT_EQ(rows.size(), members.size());
    auto library = openCollection(folder.file("out.qkl").c_str());
    ASSERT_NE(library, nullptr);
    ASSERT_EQ(library->getMemberCount(), members.size());
    for (uint32_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(rows[i].indexInFile, i);
        EXPECT_TRUE(library->selectMember(i)) << i;  // its own header and CRC check
    }
}

TEST(LibraryCommandTest, AnyBadFileWritesNothing) {
    std::string damaged = sampleResult("two");
    damaged.back() ^= 1;
    const struct {
        const char* files;
        int exitCode;
        const char* named;
    } cases[] = {
        {"a.qkc missing.qkc", 1, "missing.qkc"},
        {"a.qkc damaged.qkc", 1, "damaged.qkc"},
        {"a.qkc notes.txt", 1, "notes.txt"},
        {"a.qkc old.qkl", 1, "old.qkl"},  // a library is no result file
        {"", 2, "usage"},
    };
    for (const auto& c : cases) {
        TempDir folder;
        folder.write("a.qkc", sampleResult("one"));
        folder.write("damaged.qkc", damaged);
        folder.write("notes.txt", "plain text");
        folder.write("old.qkl", libraryBytes({sampleResult("old")}));
        const size_t before = filesIn(folder);
        const CliRun run = runCli(folder.path(), std::string("library old.qkl ") + c.files);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.files;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
        EXPECT_EQ(folder.read("old.qkl"), libraryBytes({sampleResult("old")})) << c.files;
        EXPECT_EQ(filesIn(folder), before + 2) << c.files;  // only out.txt and err.txt
    }
}

}  // namespace
}  // namespace vorn::test
