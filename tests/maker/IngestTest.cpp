#include "maker/Ingest.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "maker/UploadMail.h"
#include "results/Collections.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::goodUpload;
using test::namedFile;
using test::resultFile;
using test::uploadMessage;

class IngestTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"tmp", "new", "cur"}) {
            fs::create_directories(fs::path(maildir) / folder);
        }
    }
    void deliver(const std::string& name, const std::string& bytes) const {
        root.write("Maildir/new/" + name, bytes);
    }
    IngestReport ingest() {
        lines.clear();
        return ingestMaildir(maildir, results, [&](const std::string& l) { lines.push_back(l); });
    }
    std::vector<std::string> namesIn(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir root;
    std::string maildir = root.file("Maildir");
    std::string results = root.file("results");
    std::vector<std::string> lines;
};

TEST_F(IngestTest, AGoodUploadIsFiledUnderItsContentNameAndSeen) {
    const std::string result = resultFile();
    deliver("1700000000.M1P2.mail", goodUpload(result));
    const IngestReport report = ingest();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(ingestSummary(report), "1 accepted, 0 duplicates, 0 rejected");

    const std::string name = contentName(result);
    ASSERT_EQ(name.size(), 32u);
    EXPECT_EQ(test::readText(results + "/" + name + ".qkc"), result);
    EXPECT_NE(openCollection((results + "/" + name + ".qkc").c_str()), nullptr);
    const std::string texts = test::readText(results + "/" + name + ".logs.txt");
    EXPECT_NE(texts.find("Message: 1700000000.M1P2.mail\n"), std::string::npos);
    EXPECT_NE(texts.find("== vorntest.log (14 bytes) ==\nSTART -\nEND -\n"), std::string::npos);
    EXPECT_EQ(namesIn(maildir + "/new"), std::vector<std::string>{});
    EXPECT_EQ(namesIn(maildir + "/cur"), std::vector<std::string>{"1700000000.M1P2.mail:2,S"});

    ASSERT_EQ(lines.size(), 1u);
    // "2026-12-09T07:55:26Z 1700000000.M1P2.mail accepted <name> "t.qkc""
    EXPECT_EQ(lines[0].substr(20), " 1700000000.M1P2.mail accepted " + name + " \"t.qkc\"");
    EXPECT_EQ(test::readText(results + "/ingest.log"), lines[0] + "\n");
    EXPECT_EQ(namesIn(results),
              (std::vector<std::string>{name + ".logs.txt", name + ".qkc", "ingest.log"}));
}

// Postfix's virtual delivery makes tmp/ and new/ only: the first message seen makes cur/.
TEST_F(IngestTest, AMaildirAsPostfixLeavesItGetsItsCurFolder) {
    fs::remove(maildir + "/cur");
    deliver("1", goodUpload(resultFile()));
    const IngestReport report = ingest();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(ingestSummary(report), "1 accepted, 0 duplicates, 0 rejected");
    EXPECT_EQ(namesIn(maildir + "/cur"), std::vector<std::string>{"1:2,S"});
}

TEST_F(IngestTest, TheSameUploadTwiceIsOneFileAndASecondRunDoesNothing) {
    const std::string result = resultFile();
    deliver("a", goodUpload(result));
    deliver("b", goodUpload(result, true));  // as stored with LF line ends
    deliver("c", goodUpload(resultFile("another stick")));
    IngestReport report = ingest();
    EXPECT_EQ(ingestSummary(report), "2 accepted, 1 duplicates, 0 rejected");
    EXPECT_NE(lines[1].find(" b duplicate " + contentName(result)), std::string::npos);
    EXPECT_EQ(namesIn(maildir + "/cur"), (std::vector<std::string>{"a:2,S", "b:2,S", "c:2,S"}));
    const std::string log = test::readText(results + "/ingest.log");

    report = ingest();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(ingestSummary(report), "0 accepted, 0 duplicates, 0 rejected");
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(test::readText(results + "/ingest.log"), log);
}

TEST_F(IngestTest, RejectedMessagesMoveToTheRejectedFolderWithTheirReason) {
    const std::string result = resultFile();
    std::string damaged = result;
    damaged[30] ^= 1;
    deliver("1-text", "not a mail at all\n");
    deliver("2-none", uploadMessage({}));
    deliver("3-damaged", goodUpload(damaged));
    deliver("4-library", uploadMessage({namedFile("x.qkc", test::libraryFile())}));
    deliver("5-two", uploadMessage({namedFile("a.qkc", result), namedFile("/etc/passwd", result)}));
    const IngestReport report = ingest();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(ingestSummary(report), "0 accepted, 0 duplicates, 5 rejected");
    const std::vector<std::string> reasons = {
        " 1-text rejected: not a MIME message",
        " 2-none rejected: no attachment",
        " 3-damaged rejected: damaged result: its CRC does not match",
        " 4-library rejected: a library file, not a result",
        " 5-two rejected: 2 results in one message; an upload carries one",
    };
    ASSERT_EQ(lines.size(), reasons.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(20), reasons[i]);
    }
    EXPECT_EQ(namesIn(maildir + "/.Rejected/cur"),
              (std::vector<std::string>{"1-text:2,S", "2-none:2,S", "3-damaged:2,S",
                                        "4-library:2,S", "5-two:2,S"}));
    EXPECT_TRUE(fs::is_directory(maildir + "/.Rejected/tmp"));
    EXPECT_TRUE(fs::is_directory(maildir + "/.Rejected/new"));
    EXPECT_EQ(test::readText(maildir + "/.Rejected/cur/1-text:2,S"), "not a mail at all\n");
    EXPECT_EQ(namesIn(results), std::vector<std::string>{"ingest.log"});
}

TEST_F(IngestTest, NamesFromTheMessageNeverBecomePaths) {
    const std::string result = resultFile();
    deliver("m", uploadMessage({namedFile("../../escaped.qkc", result),
                                {"attachment; filename=\"/tmp/../x\\\"\r\n\tBcc: y\"", "log"}}));
    const IngestReport report = ingest();
    EXPECT_EQ(ingestSummary(report), "1 accepted, 0 duplicates, 0 rejected");
    EXPECT_FALSE(fs::exists(root.file("escaped.qkc")));
    EXPECT_FALSE(fs::exists(fs::path(maildir).parent_path().parent_path() / "escaped.qkc"));
    const std::string name = contentName(result);
    EXPECT_EQ(namesIn(results),
              (std::vector<std::string>{name + ".logs.txt", name + ".qkc", "ingest.log"}));
    EXPECT_NE(lines[0].find("\"../../escaped.qkc\""), std::string::npos);
    const std::string texts = test::readText(results + "/" + name + ".logs.txt");
    EXPECT_NE(texts.find("== /tmp/../x\"\\x09Bcc: y (3 bytes) ==\nlog\n"), std::string::npos)
        << texts;
}

TEST_F(IngestTest, MessagesStillBeingWrittenAndDotFilesAreLeftAlone) {
    root.write("Maildir/tmp/1.writing", goodUpload(resultFile()).substr(0, 300));
    deliver(".hidden", goodUpload(resultFile()));
    fs::create_directory(maildir + "/new/folder");
    const IngestReport report = ingest();
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(ingestSummary(report), "0 accepted, 0 duplicates, 0 rejected");
    EXPECT_EQ(namesIn(maildir + "/tmp"), std::vector<std::string>{"1.writing"});
    EXPECT_EQ(namesIn(maildir + "/new"), (std::vector<std::string>{".hidden", "folder"}));
    EXPECT_FALSE(fs::exists(maildir + "/.Rejected"));
}

TEST_F(IngestTest, OtherBytesUnderTheContentNameStopTheMessageWhereItIs) {
    const std::string result = resultFile();
    fs::create_directory(results);
    root.write("results/" + contentName(result) + ".qkc", "not the upload");
    deliver("m", goodUpload(result));
    const IngestReport report = ingest();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("holds other bytes; it is left as it is"), std::string::npos);
    EXPECT_EQ(namesIn(maildir + "/new"), std::vector<std::string>{"m"});
    EXPECT_EQ(test::readText(results + "/" + contentName(result) + ".qkc"), "not the upload");
}

TEST_F(IngestTest, ACrashBeforeTheTextsWereWrittenIsMadeGood) {
    const std::string result = resultFile();
    fs::create_directory(results);
    root.write("results/" + contentName(result) + ".qkc", result);
    deliver("m", goodUpload(result));
    EXPECT_EQ(ingestSummary(ingest()), "0 accepted, 1 duplicates, 0 rejected");
    EXPECT_TRUE(fs::exists(results + "/" + contentName(result) + ".logs.txt"));
}

TEST_F(IngestTest, WhatCannotBeReadOrWrittenIsAFailure) {
    IngestReport report = ingestMaildir(root.file("nothing"), results, [](const std::string&) {});
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("is no Maildir"), std::string::npos);

    report = ingestMaildir(maildir, root.file("missing/results"), [](const std::string&) {});
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("cannot make the results folder"), std::string::npos);

    // A results folder that is a file.
    root.write("plain", "x");
    report = ingestMaildir(maildir, root.file("plain"), [](const std::string&) {});
    EXPECT_EQ(report.failures.size(), 1u);
}

TEST_F(IngestTest, AFolderInTheResultsPlaceLeavesTheMessageInNew) {
    const std::string result = resultFile();
    fs::create_directories(results + "/" + contentName(result) + ".qkc");
    deliver("m", goodUpload(result));
    const IngestReport report = ingest();
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_NE(report.failures[0].find("cannot read"), std::string::npos);
    EXPECT_EQ(namesIn(maildir + "/new"), std::vector<std::string>{"m"});
    EXPECT_TRUE(lines.empty());
}

}  // namespace
}  // namespace vorn
