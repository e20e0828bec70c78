#include "maker/UploadVerdict.h"

#include <gtest/gtest.h>

#include <string>

#include "maker/MailMessage.h"
#include "maker/UploadMail.h"
#include "results/ResultBytes.h"

namespace vorn {
namespace {

using test::goodUpload;
using test::namedFile;
using test::resultFile;
using test::uploadMessage;

TEST(UploadVerdict, AGoodUploadGivesItsResultAndItsTexts) {
    const std::string result = resultFile();
    const UploadVerdict verdict = judgeUpload(goodUpload(result));
    ASSERT_TRUE(verdict.accepted) << verdict.reason;
    EXPECT_EQ(verdict.result, result);
    EXPECT_EQ(verdict.resultName, "t.qkc");
    EXPECT_EQ(verdict.subject, "File: t.qkc Version: 1.0.0.1");
    ASSERT_EQ(verdict.texts.size(), 2u);
    EXPECT_EQ(verdict.texts[0].name, "(message text)");
    EXPECT_EQ(verdict.texts[0].text, "See attachements.\n");
    EXPECT_EQ(verdict.texts[1].name, "vorntest.log");
    EXPECT_EQ(verdict.texts[1].text, "START -\nEND -\n");
}

TEST(UploadVerdict, TheResultIsFoundByItsContentWhateverItsName) {
    const std::string result = resultFile();
    // The result named like a log, the log named like a result, and a name of bytes.
    const UploadVerdict verdict = judgeUpload(uploadMessage(
        {namedFile("vorntest.log", "text\x01\x1B[2J\n"), namedFile("../../x.qkc\x07", result)}));
    ASSERT_TRUE(verdict.accepted) << verdict.reason;
    EXPECT_EQ(verdict.result, result);
    EXPECT_EQ(verdict.resultName, "../../x.qkc\\x07");
    EXPECT_EQ(verdict.texts[1].text, "text\\x01\\x1B[2J\n");
}

TEST(UploadVerdict, OtherTextIsKeptPrintableAndCut) {
    const std::string log = std::string(kMaxKeptTextBytes, 'a') + "tail";
    const UploadVerdict verdict = judgeUpload(uploadMessage(
        {namedFile("t.qkc", resultFile()),
         namedFile("big.log", log),
         {"attachment; filename*=UTF-8''%0D%0ABcc%3A%20x", "line one\r\nline\ttwo\r\n"}}));
    ASSERT_TRUE(verdict.accepted) << verdict.reason;
    ASSERT_EQ(verdict.texts.size(), 3u);
    EXPECT_TRUE(verdict.texts[1].cut);
    EXPECT_EQ(verdict.texts[1].bytes, log.size());
    EXPECT_EQ(verdict.texts[1].text, std::string(kMaxKeptTextBytes, 'a') + "\n");
    EXPECT_EQ(verdict.texts[2].name, "\\x0D\\x0ABcc: x");
    EXPECT_EQ(verdict.texts[2].text, "line one\nline\\x09two\n");
}

std::string damaged(std::string bytes, size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x40);
    return bytes;
}

std::string withLength(std::string bytes, uint32_t length) {
    for (int i = 0; i < 4; ++i) {
        bytes[12 + i] = static_cast<char>(length >> (8 * i));
    }
    return bytes;
}

TEST(UploadVerdict, HostileMessagesAreRejectedWithTheirReason) {
    const std::string result = resultFile();
    const std::string big = resultFile("big", kMaxResultBytes);
    const struct {
        const char* what;
        std::string message;
        std::string reason;
    } kCases[] = {
        {"plain text", "hello\nthere\n", "not a MIME message"},
        {"huge", "MIME-Version: 1.0\n\n" + std::string(kMaxMessageBytes, 'a'),
         "the message is larger than 32 MiB"},
        {"text only", uploadMessage({}), "no attachment"},
        {"logs only", uploadMessage({namedFile("vorntest.log", "x"), namedFile("a.qkc", "VORN")}),
         "no result among the 2 attachments"},
        {"library", uploadMessage({namedFile("r.qkc", test::libraryFile())}),
         "a library file, not a result"},
        {"two results",
         uploadMessage({namedFile("a.qkc", result), namedFile("b.qkc", resultFile("other"))}),
         "2 results in one message; an upload carries one"},
        {"damaged", goodUpload(damaged(result, result.size() / 2)),
         "damaged result: its CRC does not match"},
        {"damaged header", goodUpload(damaged(result, 9)),
         "damaged result: its CRC does not match"},
        {"truncated", goodUpload(result.substr(0, result.size() - 10)),
         "truncated result: " + std::to_string(result.size() - 10) + " of its " +
             std::to_string(result.size()) + " bytes"},
        {"header only", goodUpload(result.substr(0, 12)),
         "truncated result: 12 bytes, less than its header"},
        {"length zero", goodUpload(withLength(result, 0)),
         "damaged result: its header gives a length of 0"},
        {"bytes after", goodUpload(result + "junk"),
         "damaged result: 4 bytes after the end its header gives"},
        {"over the limit", goodUpload(big),
         "a result of " + std::to_string(big.size()) + " bytes is over the limit of " +
             std::to_string(kMaxResultBytes)},
    };
    for (const auto& c : kCases) {
        const UploadVerdict verdict = judgeUpload(c.message);
        EXPECT_FALSE(verdict.accepted) << c.what;
        EXPECT_EQ(verdict.reason, c.reason) << c.what;
        EXPECT_TRUE(verdict.result.empty()) << c.what;
    }
}

TEST(UploadVerdict, AResultMustBeWholeAndNameItsDrive) {
    EXPECT_EQ(resultProblem(resultFile()), "");
    // A sound header over entries that do not add up to it, or without a drive.
    const std::string entry = test::entryBytes({.name = "DRIVEID", .value = "x"});
    EXPECT_EQ(resultProblem(test::resultBytes(entry)), "");
    EXPECT_EQ(resultProblem(test::resultBytes(entry + "garbage")),
              "damaged result: its entries do not reach its end");
    test::TempDir scratch;
    const std::string path = scratch.file("n.qkc");
    {
        auto file = createCollection(path.c_str());
        ASSERT_TRUE(file && file->addEntry("VERSION", "1.0.0.1", 0, nullptr));
    }
    EXPECT_EQ(resultProblem(scratch.read("n.qkc")),
              "the result holds no drive identification (DRIVEID)");
}

}  // namespace
}  // namespace vorn
