#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/DiagLog.h"
#include "net/LoopbackServers.h"
#include "net/NoticeView.h"
#include "net/Upload.h"
#include "platform/ProgramInfo.h"
#include "support/InTempFolder.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

constexpr const char* kSent = "Benchmark results successfully updated.  Thank you!";
constexpr const char* kNotSent =
    "There was an error sending the results.  Is your computer connected to the internet?";
constexpr const char* kRefused =
    "The e-mail address may not contain line breaks or the characters < and >.  Please enter "
    "the address alone and upload again.";
constexpr const char* kMailbox = "results@velto.example";
constexpr const char* kResult = "USB_Flash_Disk_202612071200.qkc";

struct CountingNotice : I_NoticeView {
    void setNoticeText(const std::string& text) override { EXPECT_EQ(text, kNoticeText); }
    void showNotice() override { ++shown; }
    void hideNotice() override { ++hidden; }
    // The notice names the server the mail goes to.
    static constexpr const char* kNoticeText = "Sending benchmark data to 127.0.0.1!";
    int shown = 0;
    int hidden = 0;
};

TEST(UploadTest, SendsToTheMailboxOrFailsAndAlwaysDeletesTheFile) {
    InTempFolder here;
    here.folder.write("vorninit.log", "start-up lines\n");
    here.folder.write("vorntest.log", "test lines\n");
    std::string binary;
    for (int i = 0; i < 600; ++i) {
        binary.push_back(static_cast<char>(i % 256));
    }
    TempDir mail;
    TempDir refusedMail;
    const SmtpServer storing(mail, false);
    const SmtpServer refusing(refusedMail, true);
    ASSERT_TRUE(storing.ready() && refusing.ready());
    const int closed = LoopbackListener().port;
    const std::string refused =
        std::string(kNotSent) + "\nThe mail server answered: 550 Message refused";
    const struct {
        const char* typed;
        int port;
        std::string box;
        std::string sender = {};
    } cases[] = {
        {"  jo hn@exam ple.org  ", storing.port(), kSent, "john@example.org"},
        {"", storing.port(), kSent, kMailbox},
        {"    ", storing.port(), kSent, kMailbox},
        {"user@example.org", closed, kNotSent},
        {"user@example.org", refusing.port(), refused},
        {"me@example.org\r\nBcc: them@example.org", storing.port(), kRefused},
        {"Me <me@example.org>", storing.port(), kRefused},
    };
    const std::string version = platform::programVersion();
    int messages = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        here.folder.write(kResult, binary);
        ScriptedDialogs dialogs;
        CountingNotice notice;
        MailSettings settings;
        settings.server = "127.0.0.1";
        settings.port = c.port;
        openLog("upload.log");
        EXPECT_EQ(uploadResultFile(kResult, c.typed, dialogs, notice, settings, true),
                  c.box == kSent);
        closeLog();
        EXPECT_EQ(dialogs.boxes, std::vector<DialogBox>({{DialogBox::Information, c.box}}));
        EXPECT_EQ(notice.shown, notice.hidden);
        EXPECT_FALSE(here.has(kResult));
        if (c.box.rfind(kNotSent, 0) == 0) {
            EXPECT_NE(here.read("upload.log").find("EXCEPTION: sendEmail"), std::string::npos);
        }
        if (c.box != kSent) {
            continue;
        }
        const std::string base = "message-" + std::to_string(++messages);
        EXPECT_EQ(mail.read(base + ".txt"),
                  "envelope-from: " + c.sender + "\nenvelope-to: " + kMailbox +
                      "\nFrom: " + c.sender + "\nTo: " + kMailbox + "\nSubject: File: " + kResult +
                      " Version: " + version + "\npart: text/plain None\n" +
                      "part: application/octet-stream " + kResult +
                      "\npart: application/octet-stream vorninit.log"
                      "\npart: application/octet-stream vorntest.log\n");
        EXPECT_EQ(mail.read(base + ".part-0"), "See attachements.\r\n");
        EXPECT_EQ(mail.read(base + ".part-1"), binary);
        EXPECT_EQ(mail.read(base + ".part-2"), "start-up lines\n");
        EXPECT_EQ(mail.read(base + ".part-3"), "test lines\n");
    }
    // Nothing reached the server from the refused senders.
    EXPECT_FALSE(std::filesystem::exists(mail.file("message-4.txt")));
}

// A file name with a line break and quotes cannot reach the part's header as such:
// the part is named without them, and no header of its own begins.
TEST(UploadTest, AttachmentNamesCarryNoControlCharactersOrQuotes) {
    InTempFolder here;
    here.folder.write("vorninit.log", "start-up lines\n");
    here.folder.write("vorntest.log", "test lines\n");
    const std::string hostile = "x\"\r\nBcc: them@example.org\r\n\"'\\y.qkc";
    here.folder.write(hostile, "result bytes");
    TempDir mail;
    const SmtpServer storing(mail, false);
    ASSERT_TRUE(storing.ready());
    ScriptedDialogs dialogs;
    CountingNotice notice;
    MailSettings settings;
    settings.server = "127.0.0.1";
    settings.port = storing.port();
    EXPECT_TRUE(uploadResultFile(hostile, "me@example.org", dialogs, notice, settings, true));
    const std::string message = mail.read("message-1.txt");
    EXPECT_NE(message.find("\npart: application/octet-stream xBcc: them@example.orgy.qkc\n"),
              std::string::npos)
        << message;
    EXPECT_EQ(message.find("envelope-to: " + std::string(kMailbox) + ",them"), std::string::npos);
    EXPECT_NE(message.find("envelope-to: " + std::string(kMailbox) + "\n"), std::string::npos);
    EXPECT_EQ(mail.read("message-1.part-1"), "result bytes");
}

}  // namespace
}  // namespace vorn::test
