#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/CliRun.h"
#include "platform/ProgramInfo.h"
#include "results/ResultBytes.h"

namespace vorn::test {
namespace {

const std::string kList = std::string("updates") + platform::programVersion();

TEST(PublishCommandTest, UsageErrorsExitWithTwo) {
    TempDir folder;
    for (const char* arguments : {"publish", "publish results", "publish --out site",
                                  "publish a b --out site", "publish results --out"}) {
        const CliRun run = runCli(folder.path(), arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_NE(run.err.find("qkvorn-cli: publish:"), std::string::npos) << arguments;
    }
    EXPECT_FALSE(std::filesystem::exists(folder.file("site")));
}

TEST(PublishCommandTest, AMissingResultsFolderFailsWithOneLine) {
    TempDir folder;
    const CliRun run = runCli(folder.path(), "publish none --out site");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.find("qkvorn-cli: publish: cannot list none"), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1);
}

TEST(PublishCommandTest, AnEmptyFolderGivesAnEmptySiteAndAListOfTheVersion) {
    TempDir folder;
    std::filesystem::create_directory(folder.file("results"));
    const CliRun run = runCli(folder.path(), "publish results --out site");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(folder.read("site/" + kList), std::string(platform::programVersion()) + "\n");
    EXPECT_TRUE(std::filesystem::exists(folder.file("site/index.html")));
    EXPECT_NE(run.out.find("0 results in 0 libraries"), std::string::npos) << run.out;
}

TEST(PublishCommandTest, ASecondRunReportsNothingWrittenAndNamesSkippedFiles) {
    TempDir folder;
    std::filesystem::create_directory(folder.file("results"));
    folder.write("results/abc.qkc", resultBytes({{"VERSION", "1.0.0.1"}, {"DRIVEID", "Stick"}}));
    folder.write("results/bad.qkc", "junk");
    const CliRun first = runCli(folder.path(), "publish results --out site");
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_NE(first.out.find("skipped bad.qkc: "), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("1 result in 1 library; files: 8 written"), std::string::npos)
        << first.out;
    const CliRun second = runCli(folder.path(), "publish results --out site");
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.out.find("files: 0 written, 8 unchanged, 0 removed"), std::string::npos)
        << second.out;
}

}  // namespace
}  // namespace vorn::test
