#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "cli/CliRun.h"
#include "support/TempDir.h"

// qkvorn-cli run on an image file, as a script would use it.
namespace vorn::test {
namespace {

class RunCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(dir_.file("key.img"), std::ios::binary)
            .seekp(16 * 1024 * 1024 - 1)
            .put('\x5A');
    }
    CliRun run(const std::string& arguments) { return runCli(dir_.path().string(), arguments); }

    TempDir dir_;
};

TEST_F(RunCommand, ReadRunPrintsTheSummary) {
    const CliRun r = run("run --device key.img");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Read Speed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Max read speed"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Write Speed"), std::string::npos) << r.out;
    for (const char* step :
         {"Testing Flash Device ", "Read Test (64k block) ", "Sequential Access Test "}) {
        EXPECT_NE(r.err.find(step), std::string::npos) << step;
    }
    EXPECT_EQ(r.err.find("FAILED"), std::string::npos) << r.err;
    EXPECT_NE(dir_.read("event.log").find(",,,,,,,START -\n"), std::string::npos);
    EXPECT_NE(dir_.read("temp.qkt").size(), 0u);
}

// Without a terminal and without --yes, the overwrite question answers No.
TEST_F(RunCommand, WriteRunWithoutATerminalIsRefused) {
    const CliRun r = run("run --device key.img --write");
    EXPECT_EQ(r.exitCode, 1);
    // The question, then the drive it would overwrite on a line of its own.
    EXPECT_NE(r.err.find("WILL be lost.  Continue test?\n"), std::string::npos) << r.err;
    const size_t question = r.err.find("Continue test?\n");
    EXPECT_NE(r.err.find("key.img", question), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" [y/N] no", question), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("qkvorn-cli: run: stopped before the test"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("temp.qkt")));
    EXPECT_TRUE(std::filesystem::exists(dir_.file("event.log")));
    std::ifstream in(dir_.file("key.img"), std::ios::binary);
    in.seekg(16 * 1024 * 1024 - 1);
    EXPECT_EQ(in.get(), 0x5A);
}

}  // namespace
}  // namespace vorn::test
