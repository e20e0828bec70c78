#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DiagLog.h"
#include "app/RunFixture.h"
#include "net/LoopbackServers.h"
#include "net/NoticeView.h"
#include "net/Upload.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

constexpr const char* kSent = "Benchmark results successfully updated.  Thank you!";
constexpr const char* kNotSent =
    "There was an error sending the results.  Is your computer connected to the internet?";
constexpr const char* kMailbox = "results@velto.example";
constexpr const char* kResult = "USB_Flash_Disk_202612071200.qkc";

const std::vector<std::string> kSentBox = {kSent};
const std::vector<std::string> kNotSentBox = {kNotSent};

struct QuietNotice : I_NoticeView {
    void setNoticeText(const std::string& text) override { texts.push_back(text); }
    void showNotice() override { ++shown; }
    void hideNotice() override { ++hidden; }
    void processEvents() override {}
    std::vector<std::string> texts;
    int shown = 0;
    int hidden = 0;
};

std::string binaryResult() {
    std::string bytes;
    for (int i = 0; i < 600; ++i) {
        bytes.push_back(static_cast<char>(i % 256));
    }
    return bytes;
}

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        here_.folder.write("vorninit.log", "start-up lines\n");
        here_.folder.write("vorntest.log", "test lines\n");
    }
    MailSettings mailTo(int port) const {
        MailSettings settings;
        settings.server = "127.0.0.1";
        settings.port = port;
        settings.connectTimeoutMs = 5000;
        settings.totalTimeoutSeconds = 20;
        return settings;
    }
    // Uploads a fresh result file; the texts of the information boxes shown.
    std::vector<std::string> upload(const std::string& typed, int port) {
        here_.folder.write(kResult, binaryResult());
        ScriptedDialogs dialogs;
        QuietNotice notice;
        uploadResultFile(kResult, typed, dialogs, notice, mailTo(port), true);
        EXPECT_EQ(notice.shown, notice.hidden);
        EXPECT_FALSE(here_.has(kResult)) << "the upload file is deleted either way";
        std::vector<std::string> texts;
        for (const DialogBox& box : dialogs.boxes) {
            EXPECT_EQ(box.kind, DialogBox::Information);
            texts.push_back(box.text);
        }
        return texts;
    }
    bool stored(int message) const {
        return std::filesystem::exists(mail_.file("message-" + std::to_string(message) + ".txt"));
    }

    InTempFolder here_;
    TempDir mail_;
};

TEST_F(UploadTest, MessageCarriesSenderSubjectBodyAndThreeFilesInOrder) {
    SmtpServer server(mail_, false);
    ASSERT_TRUE(server.ready());
    const std::string version = fileVersion("qkvorn.exe");
    const struct {
        const char* typed;
        std::string sender;
    } cases[] = {
        {"  jo hn@exam ple.org  ", "john@example.org"},
        {"", kMailbox},
        {"    ", kMailbox},
    };
    int message = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(upload(c.typed, server.port()), kSentBox);
        const std::string base = "message-" + std::to_string(++message);
        EXPECT_EQ(mail_.read(base + ".txt"),
                  "envelope-from: " + c.sender + "\nenvelope-to: " + kMailbox +
                      "\nFrom: " + c.sender + "\nTo: " + kMailbox + "\nSubject: File: " + kResult +
                      " Version: " + version +
                      "\npart: text/plain None\npart: application/octet-stream " + kResult +
                      "\npart: application/octet-stream vorninit.log"
                      "\npart: application/octet-stream vorntest.log\n");
        EXPECT_EQ(mail_.read(base + ".part-0"), "See attachements.\r\n");
        EXPECT_EQ(mail_.read(base + ".part-1"), binaryResult());
        EXPECT_EQ(mail_.read(base + ".part-2"), "start-up lines\n");
        EXPECT_EQ(mail_.read(base + ".part-3"), "test lines\n");
    }
}

TEST_F(UploadTest, UnreachableOrRefusingServerEndsInTheErrorMessage) {
    LoopbackListener closed;
    closed.close();
    SmtpServer refusing(mail_, true);
    ASSERT_TRUE(refusing.ready());
    for (const int port : {closed.port(), refusing.port()}) {
        SCOPED_TRACE(port);
        openLog("upload.log");
        EXPECT_EQ(upload("user@example.org", port), kNotSentBox);
        closeLog();
        EXPECT_NE(here_.read("upload.log").find("EXCEPTION: sendEmail"), std::string::npos);
    }
    EXPECT_FALSE(stored(1));
}

TEST_F(UploadTest, SenderThatCouldForgeHeadersIsRefusedBeforeSending) {
    SmtpServer server(mail_, false);
    ASSERT_TRUE(server.ready());
    for (const char* typed :
         {"me@example.org\r\nBcc: them@example.org", "Me <me@example.org>", "me@example.org\n"}) {
        SCOPED_TRACE(typed);
        const std::vector<std::string> boxes = upload(typed, server.port());
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].find("line breaks or the characters < and >"), std::string::npos);
    }
    EXPECT_FALSE(stored(1));
}

}  // namespace
}  // namespace vorn::test
