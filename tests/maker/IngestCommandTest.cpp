#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cli/CliRun.h"
#include "maker/Ingest.h"
#include "maker/UploadMail.h"
#include "net/LoopbackServers.h"

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

// The message exactly as the program's upload sends it (libcurl's MIME, an RFC 2231
// name) and a mail server receives it, then filed from a Maildir by the command.
TEST(IngestCommand, ARealUploadIsFiledByteForByte) {
    test::TempDir folder;
    test::TempDir received;
    const test::SmtpServer server(received, "store");
    ASSERT_TRUE(server.ready());
    const std::string result = test::resultFile();
    const std::string name =
        "Stick Gr\xC3\xB6\xC3\x9F"
        "e 16GB.qkc";
    folder.write(name, result);
    folder.write("vorntest.log", "START -\nEND -\n");
    const test::CliRun upload = test::runCli(
        folder.path().string(),
        "upload '" + name + "' --mail-server 127.0.0.1:" + std::to_string(server.port()));
    ASSERT_EQ(upload.exitCode, 0) << upload.err;

    for (const char* sub : {"mail/tmp", "mail/new", "mail/cur"}) {
        fs::create_directories(folder.path() / sub);
    }
    folder.write("mail/new/1", received.read("message-1.eml"));
    const test::CliRun run = test::runCli(folder.path().string(), "ingest mail --into out");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(" 1 accepted " + contentName(result) + " \"" + name + "\"\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(folder.read("out/" + contentName(result) + ".qkc"), result);
    const std::string texts = folder.read("out/" + contentName(result) + ".logs.txt");
    EXPECT_NE(texts.find("vorninit.log is not attached"), std::string::npos) << texts;
    EXPECT_NE(texts.find("== vorntest.log (14 bytes) ==\nSTART -\nEND -\n"), std::string::npos);
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
