#include <gtest/gtest.h>

#include <string>

#include "maker/MailMessage.h"
#include "maker/MimeHeaders.h"
#include "maker/MimeText.h"
#include "maker/Sha256.h"
#include "maker/UploadMail.h"

namespace vorn {
namespace {

TEST(Sha256, KnownAnswers) {
    const struct {
        std::string input;
        const char* digest;
    } kCases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 56 bytes: the length no longer fits the first padding block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(sha256Hex(c.input), c.digest) << c.input.size() << " bytes";
    }
}

TEST(MimeText, Base64PassesOverLineBreaksAndEndsAtPadding) {
    const struct {
        const char* text;
        std::string bytes;
    } kCases[] = {
        {"TWFu", "Man"},
        {"TW\r\nFu\n", "Man"},
        {"TWE=", "Ma"},
        {"TQ==", "M"},
        {"TWE", "Ma"},  // padding left off
        {"T", ""},      // one character holds no byte
        {"TWFu=TWFu", "Man"},
        {"T*W!F u", "Man"},
        {"AAEC/w==", std::string("\x00\x01\x02\xFF", 4)},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(decodeBase64(c.text), c.bytes) << c.text;
    }
}

TEST(MimeText, QuotedPrintableJoinsSoftBreaksAndKeepsLineEnds) {
    const struct {
        const char* text;
        const char* bytes;
    } kCases[] = {
        {"a=3Db", "a=b"},
        {"Gr=C3=B6=C3=9Fe",
         "Gr\xC3\xB6\xC3\x9F"
         "e"},
        {"ab=\r\ncd\r\n", "abcd\r\n"},
        {"ab=\ncd\n", "abcd\n"},
        {"trailing   \nnext", "trailing\nnext"},
        {"bad =ZZ and =4", "bad =ZZ and =4"},
        {"lower =3d", "lower ="},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(decodeQuotedPrintable(c.text), c.bytes) << c.text;
    }
}

TEST(MimeText, EncodedWordsAreDecodedAndJoined) {
    EXPECT_EQ(decodeEncodedWords(
                  "=?UTF-8?B?RmlsZTogU3RpY2sgR3LDtsOfZSAxNkdCLnFrYyBWZXJzaW9uOiAxLjAuMC4x?="),
              "File: Stick Gr\xC3\xB6\xC3\x9F"
              "e 16GB.qkc Version: 1.0.0.1");
    // Blanks between two encoded words belong to the encoding; others stay.
    EXPECT_EQ(decodeEncodedWords("=?utf-8?q?a_b?= \r\n =?UTF-8?Q?=C3=A4?= c"), "a b\xC3\xA4 c");
    EXPECT_EQ(decodeEncodedWords("x =?UTF-8?X?abc?= =?broken"), "x =?UTF-8?X?abc?= =?broken");
    EXPECT_EQ(decodePercent("Stick%20Gr%C3%B6%C3%9Fe%2x%"),
              "Stick Gr\xC3\xB6\xC3\x9F"
              "e%2x%");
}

TEST(MimeHeaders, FoldedFieldsAreUnfoldedWithEitherLineEnd) {
    for (const std::string end : {"\r\n", "\n"}) {
        const std::string text = "Subject: one" + end + "\t two" + end + "X-Empty:" + end +
                                 "Content-Type: text/plain" + end + end + "body";
        const auto block = readHeaderBlock(text);
        ASSERT_TRUE(block);
        ASSERT_EQ(block->fields.size(), 3u);
        EXPECT_EQ(*findField(*block, "subject"), "one\t two");
        EXPECT_EQ(*findField(*block, "x-empty"), "");
        EXPECT_EQ(text.substr(block->bodyStart), "body");
        EXPECT_EQ(findField(*block, "to"), nullptr);
    }
}

TEST(MimeHeaders, LinesThatAreNoFieldRefuseTheBlock) {
    EXPECT_FALSE(readHeaderBlock("just text\n\nmore"));
    EXPECT_FALSE(readHeaderBlock(" continued: first\n"));
    EXPECT_FALSE(readHeaderBlock("Bad Name: x\n"));
    EXPECT_FALSE(readHeaderBlock(": no name\n"));
    EXPECT_FALSE(readHeaderBlock("A: " + std::string(kMaxHeaderBytes, 'x') + "\n\n"));
    // No header at all is a block of its own: a part may start with its empty line.
    const auto empty = readHeaderBlock("\r\nbody");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->fields.empty());
    EXPECT_EQ(empty->bodyStart, 2u);
}

TEST(MimeHeaders, ParametersTakeQuotedStringsAndEveryNameForm) {
    const HeaderValue type =
        parseHeaderValue(" Multipart/Mixed ; Boundary=\"a;b \\\"c\\\"\"; charset=us-ascii ");
    EXPECT_EQ(type.token, "multipart/mixed");
    EXPECT_EQ(parameterValue(type, "boundary"), "a;b \"c\"");
    EXPECT_EQ(parameterValue(type, "charset"), "us-ascii");
    EXPECT_FALSE(parameterValue(type, "name"));

    const struct {
        const char* header;
        const char* name;
    } kNames[] = {
        {"attachment; filename*=UTF-8''Stick%20Gr%C3%B6%C3%9Fe%2016GB.qkc",
         "Stick Gr\xC3\xB6\xC3\x9F"
         "e 16GB.qkc"},
        {"attachment; filename*0*=UTF-8''Stick%20; filename*1=\"16GB\"; filename*2*=.qkc",
         "Stick 16GB.qkc"},
        // The extended form wins over the plain one a sender adds for old readers.
        {"attachment; filename=\"plain.qkc\"; filename*=utf-8'en'wide%21.qkc", "wide!.qkc"},
        {"attachment; FILENAME=unquoted.qkc ; size=3", "unquoted.qkc"},
        {"attachment; filename=\"unterminated.qkc", "unterminated.qkc"},
    };
    for (const auto& c : kNames) {
        EXPECT_EQ(parameterValue(parseHeaderValue(c.header), "filename"), c.name) << c.header;
    }
}

std::string multipart(const std::string& boundary, const std::vector<std::string>& parts) {
    std::string body;
    for (const std::string& part : parts) {
        body += "--" + boundary + "\r\n" + part + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

TEST(MailMessage, TheUploadReadsWithEitherLineEnd) {
    const std::string result = test::resultFile();
    for (const bool lf : {false, true}) {
        const MailMessage mail = parseMailMessage(test::goodUpload(result, lf));
        ASSERT_EQ(mail.problem, MailProblem::none);
        EXPECT_EQ(mail.subject, "File: t.qkc Version: 1.0.0.1");
        ASSERT_EQ(mail.parts.size(), 3u);
        EXPECT_EQ(mail.parts[0].contentType, "text/plain");
        EXPECT_EQ(mail.parts[0].body, lf ? "See attachements.\n" : "See attachements.\r\n");
        EXPECT_EQ(mail.parts[1].contentType, "application/octet-stream");
        EXPECT_EQ(mail.parts[1].disposition, "attachment");
        EXPECT_EQ(mail.parts[1].fileName, "t.qkc");
        EXPECT_EQ(mail.parts[1].body, result);
        EXPECT_EQ(mail.parts[2].body, "START -\nEND -\n");
    }
}

TEST(MailMessage, NestedMultipartsGiveTheirLeavesInOrder) {
    const std::string inner =
        "Content-Type: multipart/alternative; boundary=\"in ner\"\r\n\r\npreamble\r\n" +
        multipart("in ner", {"Content-Type: text/plain\r\n\r\nplain",
                             "Content-Type: text/html\r\nContent-Transfer-Encoding: "
                             "quoted-printable\r\n\r\n<p>=3D</p>"}) +
        "epilogue";
    const std::string mail =
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=out\r\n\r\n" +
        multipart("out", {inner,
                          "Content-Type: application/x-thing; "
                          "name=\"n.bin\"\r\n\r\n\x01\x02"});
    const MailMessage message = parseMailMessage(mail);
    ASSERT_EQ(message.problem, MailProblem::none);
    ASSERT_EQ(message.parts.size(), 3u);
    EXPECT_EQ(message.parts[0].body, "plain");
    EXPECT_EQ(message.parts[1].body, "<p>=</p>");
    EXPECT_EQ(message.parts[2].fileName, "n.bin");
    EXPECT_EQ(message.parts[2].body, "\x01\x02");
}

TEST(MailMessage, AMissingCloseDelimiterEndsTheLastPartAtTheEnd) {
    const MailMessage message = parseMailMessage(
        "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nfirst\n--bx\n--b \t\n\nsecond\n");
    ASSERT_EQ(message.problem, MailProblem::none);
    ASSERT_EQ(message.parts.size(), 2u);
    // "--bx" is no delimiter of "b": it stays in the first part.
    EXPECT_EQ(message.parts[0].body, "first\n--bx");
    EXPECT_EQ(message.parts[1].body, "second\n");
}

TEST(MailMessage, HostileStructuresAreRefusedWithTheirProblem) {
    std::string deep = "leaf";
    for (int level = 0; level <= kMaxMultipartDepth; ++level) {
        const std::string b = "b" + std::to_string(level);
        deep = "Content-Type: multipart/mixed; boundary=" + b + "\r\n\r\n" + multipart(b, {deep});
    }
    std::vector<std::string> many(kMaxMailParts + 1, "\r\nx");
    const struct {
        std::string mail;
        MailProblem problem;
    } kCases[] = {
        {"hello, this is no mail\n", MailProblem::notMime},
        {"", MailProblem::notMime},
        {"From: a@b\nSubject: plain mail\n\nno MIME here\n", MailProblem::notMime},
        {"Content-Type: multipart/mixed\n\n--x\n\nbody\n--x--\n", MailProblem::noBoundary},
        {"MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=x\n\n--x\nnot a header\n--x--",
         MailProblem::badHeader},
        {"MIME-Version: 1.0\n" + deep, MailProblem::tooDeep},
        {"Content-Type: multipart/mixed; boundary=m\n\n" + multipart("m", many),
         MailProblem::tooManyParts},
        {"MIME-Version: 1.0\n\n" + std::string(kMaxMessageBytes, 'x'), MailProblem::tooLarge},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(parseMailMessage(c.mail).problem, c.problem) << c.mail.substr(0, 80);
    }
    // Exactly the limits still read.
    std::vector<std::string> enough(kMaxMailParts, "\r\nx");
    EXPECT_EQ(
        parseMailMessage("Content-Type: multipart/mixed; boundary=m\n\n" + multipart("m", enough))
            .parts.size(),
        kMaxMailParts);
}

TEST(MailMessage, ASinglePartMessageIsOneLeaf) {
    const MailMessage message = parseMailMessage(
        "MIME-Version: 1.0\nSubject: =?UTF-8?Q?caf=C3=A9?=\nContent-Transfer-Encoding: base64\n"
        "Content-Type: application/octet-stream; name*=UTF-8''a%2Fb\n\nTWFu\n");
    ASSERT_EQ(message.problem, MailProblem::none);
    EXPECT_EQ(message.subject, "caf\xC3\xA9");
    ASSERT_EQ(message.parts.size(), 1u);
    EXPECT_EQ(message.parts[0].fileName, "a/b");
    EXPECT_EQ(message.parts[0].body, "Man");
}

}  // namespace
}  // namespace vorn
