#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/DiagLog.h"
#include "cli/CliRun.h"
#include "net/LibraryBytes.h"
#include "net/LoopbackServers.h"
#include "platform/ProgramInfo.h"
#include "results/Collections.h"

namespace vorn::test {
namespace {

TEST(NetCommandsTest, UpdateFetchesWithYesAndUploadKeepsTheUsersFile) {
    TempDir here;
    TempDir served;
    std::filesystem::create_directories(served.path() / "qkvorn");
    served.write(std::string("qkvorn/updates") + platform::programVersion(), "9.9\nA.QKL\n");
    const std::string library = libraryBytes(1);
    served.write("qkvorn/A.QKL", library);
    HttpServer http(served.path().string());
    ASSERT_TRUE(http.ready());
    const CliRun update = runCli(here.path().string(), "update --yes --server " + http.url());
    EXPECT_EQ(update.exitCode, 0) << update.err;
    EXPECT_NE(update.out.find("Updated benchmark library files downloaded sucessfully."),
              std::string::npos);
    EXPECT_EQ(here.read("A.QKL"), library);

    TempDir mail;
    SmtpServer smtp(mail, false);
    ASSERT_TRUE(smtp.ready());
    ASSERT_TRUE(createCollection(here.file("mine.qkc").c_str())
                    ->addEntry("VERSION", "1.0.0.1", 0, nullptr));
    here.write("vorninit.log", "init\n");
    here.write("vorntest.log", "test\n");
    const CliRun upload = runCli(here.path().string(),
                                 "upload mine.qkc --from 'a b@c.org' "
                                 "--mail-server 127.0.0.1:" +
                                     std::to_string(smtp.port()));
    EXPECT_EQ(upload.exitCode, 0) << upload.err;
    EXPECT_TRUE(std::filesystem::exists(here.file("mine.qkc")));
    EXPECT_EQ(mail.read("message-1.txt").rfind("envelope-from: ab@c.org\n", 0), 0u);
}

// A captive portal's page is no update list: one failure line with its cause on the
// terminal, exit 1, and nothing kept.
TEST(NetCommandsTest, UpdateBehindASignInPageFailsWithOneLine) {
    TempDir here;
    TempDir served;
    TrickyHttpServer portal(served, "portal");
    ASSERT_TRUE(portal.ready());
    const CliRun update = runCli(here.path().string(), "update --yes --server " + portal.url());
    EXPECT_EQ(update.exitCode, 1);
    EXPECT_EQ(update.out,
              "Error during update. The update server answered with a web page, not an update "
              "list (a network sign-in page?).\n");
    EXPECT_FALSE(
        std::filesystem::exists(here.file(std::string("updates") + platform::programVersion())));
}

// The terminal alone: a run, then its result uploaded, with the test log the run left
// and without the start-up log only the window program writes.
TEST(NetCommandsTest, UploadAfterATerminalOnlyRun) {
    TempDir here;
    std::ofstream(here.file("key.img"), std::ios::binary).seekp(16 * 1024 * 1024 - 1).put('\x5A');
    const CliRun run = runCli(here.path().string(), "run --device key.img");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_FALSE(std::filesystem::exists(here.file("vorninit.log")));
    TempDir mail;
    SmtpServer smtp(mail, "store");
    ASSERT_TRUE(smtp.ready());
    const CliRun upload = runCli(here.path().string(), "upload temp.qkt --mail-server 127.0.0.1:" +
                                                           std::to_string(smtp.port()));
    EXPECT_EQ(upload.exitCode, 0) << upload.err << upload.out;
    EXPECT_EQ(upload.out, "Benchmark results successfully updated.  Thank you!\n");
    EXPECT_NE(upload.err.find("Sending benchmark data to 127.0.0.1!"), std::string::npos);
    const std::string stored = mail.read("message-1.txt");
    EXPECT_NE(stored.find("part: application/octet-stream temp.qkt\n"
                          "part: application/octet-stream vorntest.log\n"),
              std::string::npos)
        << stored;
    EXPECT_EQ(mail.read("message-1.part-1"), here.read("temp.qkt"));
    EXPECT_NE(mail.read("message-1.part-0").find("vorninit.log is not attached"),
              std::string::npos);
}

}  // namespace
}  // namespace vorn::test
