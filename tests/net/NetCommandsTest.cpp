#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/DiagLog.h"
#include "cli/CliRun.h"
#include "net/LoopbackServers.h"
#include "platform/ProgramInfo.h"
#include "results/VornCollection.h"

namespace vorn::test {
namespace {

TEST(NetCommandsTest, UpdateFetchesWithYesAndUploadKeepsTheUsersFile) {
    TempDir here;
    TempDir served;
    std::filesystem::create_directories(served.path() / "qkvorn");
    served.write(std::string("qkvorn/updates") + platform::programVersion(), "9.9\nA.QKL\n");
    served.write("qkvorn/A.QKL", "library");
    HttpServer http(served.path().string());
    ASSERT_TRUE(http.ready());
    const CliRun update = runCli(here.path().string(), "update --yes --server " + http.url());
    EXPECT_EQ(update.exitCode, 0) << update.err;
    EXPECT_NE(update.out.find("Updated benchmark library files downloaded sucessfully."),
              std::string::npos);
    EXPECT_EQ(here.read("A.QKL"), "library");

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

}  // namespace
}  // namespace vorn::test
