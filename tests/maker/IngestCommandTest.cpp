#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/CliRun.h"
#include "maker/Ingest.h"
#include "maker/UploadMail.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

TEST(IngestCommand, FilesUploadsAndSaysWhatItDid) {
    test::TempDir folder;
    for (const char* sub : {"mail/tmp", "mail/new", "mail/cur"}) {
        fs::create_directories(folder.path() / sub);
    }
    const std::string result = test::resultFile();
    folder.write("mail/new/1", test::goodUpload(result));
    folder.write("mail/new/2", "junk");
    const test::CliRun run = test::runCli(folder.path().string(), "ingest mail --into out");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(" 1 accepted " + contentName(result)), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" 2 rejected: not a MIME message\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n1 accepted, 0 duplicates, 1 rejected\n"), std::string::npos);
    EXPECT_EQ(folder.read("out/" + contentName(result) + ".qkc"), result);

    // The result as filed reads as the program's own.
    const test::CliRun dump =
        test::runCli(folder.path().string(), "dump out/" + contentName(result) + ".qkc");
    EXPECT_EQ(dump.exitCode, 0) << dump.err;
    EXPECT_NE(dump.out.find("Stick 16GB"), std::string::npos);
}

TEST(IngestCommand, UsageErrorsAndFailuresHaveTheirExitCodes) {
    test::TempDir folder;
    const std::string at = folder.path().string();
    EXPECT_EQ(test::runCli(at, "ingest mail").exitCode, 2);
    EXPECT_EQ(test::runCli(at, "ingest --into out").exitCode, 2);
    EXPECT_EQ(test::runCli(at, "ingest a b --into out").exitCode, 2);
    const test::CliRun missing = test::runCli(at, "ingest mail --into out");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("qkvorn-cli: ingest: mail is no Maildir"), std::string::npos)
        << missing.err;
    EXPECT_NE(missing.out.find("0 accepted, 0 duplicates, 0 rejected"), std::string::npos);
}

}  // namespace
}  // namespace vorn
