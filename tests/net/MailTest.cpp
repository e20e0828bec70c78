// The mail as strict servers want it and the server's own words on a refusal:
// loopback aiosmtpd in the modes a real server takes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/DiagLog.h"
#include "net/LoopbackServers.h"
#include "net/MailText.h"
#include "net/NoticeView.h"
#include "net/SmtpReplies.h"
#include "net/Upload.h"
#include "platform/ProgramInfo.h"
#include "support/InTempFolder.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

constexpr const char* kSent = "Benchmark results successfully updated.  Thank you!";
constexpr const char* kNotSent =
    "There was an error sending the results.  Is your computer connected to the internet?";
constexpr const char* kResult = "result.qkc";

struct QuietNotice : I_NoticeView {
    void setNoticeText(const std::string&) override {}
    void showNotice() override {}
    void hideNotice() override {}
};

// One upload of `file` from a folder holding the logs named, through `port`.
struct Upload {
    Upload(const std::vector<std::string>& logs, const std::string& file = kResult) {
        for (const std::string& log : logs) {
            here.folder.write(log, log + " lines\n");
        }
        here.folder.write(file, "result bytes");
        settings.server = "127.0.0.1";
    }
    bool send(int port, const std::string& file = kResult) {
        settings.port = port;
        QuietNotice notice;
        openLog("upload.log");
        const bool sent = uploadResultFile(file, "me@example.org", dialogs, notice, settings, true);
        closeLog();
        EXPECT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_FALSE(here.has(file));
        return sent;
    }
    std::string box() const { return dialogs.boxes.empty() ? "" : dialogs.boxes.back().text; }

    InTempFolder here;
    ScriptedDialogs dialogs;
    MailSettings settings;
};

// A refusal reaches the box in the server's words and the log keeps the whole reply;
// a server that could not be reached adds nothing to the box.
TEST(MailReplies, ARefusalSaysWhatTheServerAnswered) {
    const int closed = LoopbackListener().port;
    const struct {
        const char* mode;
        std::string detail;
    } cases[] = {
        {"unknown-user",
         "The mail server answered: 550 5.1.1 <results@velto.example>: Recipient address "
         "rejected: User unknown"},
        {"tls-required",
         "The mail server requires an encrypted connection: 530 5.7.0 Must issue a STARTTLS "
         "command first"},
        {nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode != nullptr ? c.mode : "closed port");
        TempDir mail;
        const std::unique_ptr<SmtpServer> server =
            c.mode != nullptr ? std::make_unique<SmtpServer>(mail, c.mode) : nullptr;
        ASSERT_TRUE(server == nullptr || server->ready());
        Upload upload({"vorninit.log", "vorntest.log"});
        EXPECT_FALSE(upload.send(server ? server->port() : closed));
        EXPECT_EQ(upload.box(), c.detail.empty() ? kNotSent : kNotSent + ("\n" + c.detail));
        const std::string log = upload.here.read("upload.log");
        if (!c.detail.empty()) {
            const std::string reply = c.detail.substr(c.detail.find(": ") + 2);
            EXPECT_NE(log.find("** The mail server answered: " + reply + "\n"), std::string::npos)
                << log;
        }
        EXPECT_FALSE(std::filesystem::exists(mail.file("message-1.txt")));
    }
}

TEST(MailReplies, ReplyLinesMayArriveInPieces) {
    SmtpReplies replies;
    for (const char* piece : {"250-mail.example\r\n250 SIZE", " 100\r\n", "550-5.7.1 first\r\n",
                              "550 5.7.1 second", "\r\n"}) {
        replies.take(piece, std::strlen(piece));
    }
    EXPECT_EQ(replies.refusalLines(),
              (std::vector<std::string>{"550-5.7.1 first", "550 5.7.1 second"}));
    EXPECT_EQ(replies.describe(CURLE_RECV_ERROR, ""),
              "The mail server answered: 550-5.7.1 first 550 5.7.1 second");
    // The goodbye after a refusal does not hide it.
    replies.take("221 2.0.0 Bye\r\n", 15);
    EXPECT_EQ(replies.refusalLines().size(), 2u);
    SmtpReplies silent;
    silent.take("220 ready\r\n", 11);
    EXPECT_EQ(silent.describe(CURLE_COULDNT_CONNECT, ""), "");
    EXPECT_EQ(silent.describe(CURLE_USE_SSL_FAILED, "").rfind("The mail server offers no", 0), 0u);
}

// STARTTLS is taken whenever offered, and an offer that cannot be trusted ends the
// send rather than falling back to clear text; a build that requires encryption
// sends nothing to a server without it.
TEST(MailTls, StartTlsWhenOfferedAndNeverClearTextAfterAFailedOne) {
    TempDir tlsMail;
    const SmtpServer tls(tlsMail, "starttls");
    TempDir plainMail;
    const SmtpServer plain(plainMail, "store");
    ASSERT_TRUE(tls.ready() && plain.ready());
    {
        Upload trusted({"vorninit.log", "vorntest.log"});
        trusted.settings.caFile = tlsMail.file("cert.pem");
        EXPECT_TRUE(trusted.send(tls.port()));
        EXPECT_EQ(tlsMail.read("message-1.session").find("tls: yes\n") != std::string::npos, true)
            << tlsMail.read("message-1.session");
    }
    {
        Upload untrusted({"vorninit.log", "vorntest.log"});
        EXPECT_FALSE(untrusted.send(tls.port()));
        EXPECT_EQ(
            untrusted.box().rfind(
                std::string(kNotSent) + "\nThe encrypted connection to the mail server failed: ",
                0),
            0u)
            << untrusted.box();
        EXPECT_FALSE(std::filesystem::exists(tlsMail.file("message-2.txt")));
    }
    {
        Upload required({"vorninit.log", "vorntest.log"});
        required.settings.requireTls = true;
        EXPECT_FALSE(required.send(plain.port()));
        EXPECT_EQ(required.box(), std::string(kNotSent) +
                                      "\nThe mail server offers no encrypted connection "
                                      "(STARTTLS), and results are sent only encrypted.");
        EXPECT_FALSE(std::filesystem::exists(plainMail.file("message-1.txt")));
    }
    Upload clear({"vorninit.log", "vorntest.log"});
    EXPECT_TRUE(clear.send(plain.port()));
    EXPECT_NE(plainMail.read("message-1.session").find("tls: no\n"), std::string::npos);
}

// A name beyond ASCII travels encoded (RFC 2047 in the subject, RFC 2231 in the
// part) and reads back as it was; the message has an ID of a qualified domain and
// the greeting a qualified name or an address literal.
TEST(MailText, NonAsciiNamesMessageIdAndGreeting) {
    const std::string name =
        "Stick Gr\xC3\xB6\xC3\x9F"
        "e 16GB \xE2\x80\x94 Kopie.qkc";
    TempDir mail;
    const SmtpServer server(mail, "store");
    ASSERT_TRUE(server.ready());
    Upload upload({"vorninit.log", "vorntest.log"}, name);
    EXPECT_TRUE(upload.send(server.port(), name));
    EXPECT_EQ(upload.box(), kSent);
    const std::string stored = mail.read("message-1.txt");
    EXPECT_NE(
        stored.find("\nSubject: File: " + name + " Version: " + platform::programVersion() + "\n"),
        std::string::npos)
        << stored;
    EXPECT_NE(stored.find("\npart: application/octet-stream " + name + "\n"), std::string::npos);
    const std::string raw = mail.read("message-1.eml");
    for (const char c : raw) {
        ASSERT_LT(static_cast<unsigned char>(c), 0x80) << "8-bit byte on the wire";
    }
    const size_t id = raw.find("\r\nMessage-ID: <");
    ASSERT_NE(id, std::string::npos) << raw.substr(0, 600);
    const std::string idLine = raw.substr(id + 2, raw.find("\r\n", id + 2) - id - 2);
    const std::string domain = idLine.substr(idLine.find('@') + 1);
    EXPECT_NE(domain.find('.'), std::string::npos) << idLine;
    EXPECT_EQ(domain.back(), '>');
    const std::string session = mail.read("message-1.session");
    const std::string ehlo = session.substr(6, session.find('\n') - 6);
    EXPECT_TRUE(ehlo.front() == '[' || ehlo.find('.') != std::string::npos) << ehlo;
    EXPECT_EQ(ehlo, greetingName("127.0.0.1", server.port()));
}

TEST(MailText, EncodedWordsStayShortAndWholeCharacters) {
    EXPECT_EQ(encodedHeaderText("File: a.qkc Version: 1"), "File: a.qkc Version: 1");
    EXPECT_EQ(encodedHeaderText("\xC3\xA4"), "=?UTF-8?B?w6Q=?=");
    // A broken byte is a question mark, not a broken word.
    EXPECT_EQ(encodedHeaderText("a\xFF"), "=?UTF-8?B?YT8=?=");
    std::string umlauts;
    for (int i = 0; i < 40; ++i) {
        umlauts += "\xC3\xB6";
    }
    const std::string encoded = encodedHeaderText(umlauts);
    size_t words = 0;
    for (size_t at = 0; at < encoded.size();) {
        const size_t end = std::min(encoded.find(' ', at), encoded.size());
        EXPECT_LE(end - at, 75u);
        ++words;
        at = end + 1;
    }
    EXPECT_EQ(words, 2u);  // 80 bytes: 44 (22 whole characters) + 36
    EXPECT_EQ(attachmentDisposition("a b.qkc"),
              "Content-Disposition: attachment; filename=\"a b.qkc\"");
    EXPECT_EQ(attachmentDisposition("\xC3\xB6 %.qkc"),
              "Content-Disposition: attachment; filename*=UTF-8''%C3%B6%20%25.qkc");
}

// After a run in the terminal there is no start-up log: the mail goes without it and
// says so, with whatever logs are here.
TEST(MailParts, LogsThatAreMissingAreLeftOutAndNamed) {
    const struct {
        std::vector<std::string> logs;
        std::string parts;
    } cases[] = {
        {{"vorntest.log"},
         "part: text/plain None\npart: application/octet-stream result.qkc\n"
         "part: application/octet-stream vorntest.log\n"},
        {{}, "part: text/plain None\npart: application/octet-stream result.qkc\n"},
    };
    for (const auto& c : cases) {
        TempDir mail;
        const SmtpServer server(mail, "store");
        ASSERT_TRUE(server.ready());
        Upload upload(c.logs);
        EXPECT_TRUE(upload.send(server.port()));
        const std::string stored = mail.read("message-1.txt");
        EXPECT_EQ(stored.substr(stored.find("part: ")), c.parts);
        const std::string body = mail.read("message-1.part-0");
        EXPECT_EQ(body.rfind("See attachements.\r\n", 0), 0u);
        EXPECT_NE(body.find("vorninit.log is not attached"), std::string::npos) << body;
        EXPECT_EQ(body.find("vorntest.log is not attached") != std::string::npos, c.logs.empty());
        EXPECT_EQ(mail.read("message-1.part-2").empty(), c.logs.empty());
    }
}

TEST(MailText, TheNoticeNamesTheServerUsed) {
    EXPECT_EQ(uploadNoticeText(MailSettings{}), "Sending benchmark data to www.velto.example!");
    MailSettings other;
    other.server = "smtp.example.net";
    EXPECT_EQ(uploadNoticeText(other), "Sending benchmark data to smtp.example.net!");
}

}  // namespace
}  // namespace vorn::test
