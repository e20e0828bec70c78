#include "base/DiagLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "BuildInfo.h"
#include "platform/ProgramInfo.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

class DiagLogTest : public ::testing::Test {
protected:
    void SetUp() override { closeLog(); }
    void TearDown() override { closeLog(); }

    std::string path(const char* name) const { return dir_.file(name); }
    std::string read(const char* name) const { return dir_.read(name); }

    TempDir dir_;
};

// Lines go nowhere while no log is open: before the first, after a close, and when
// the file does not open (which leaves no log held open). Every open empties its file.
TEST_F(DiagLogTest, LinesWithoutAnOpenLogGoNowhere) {
    logMessage("before any log %d", 1);
    dir_.write("first.log", "left from an earlier program\n");
    openLog(path("first.log").c_str());
    logMessage("kept %d", 2);
    closeLog();
    logMessage("after close");
    closeLog();  // closing twice is harmless
    EXPECT_EQ(read("first.log"), "kept 2\n");

    const std::string bad = path("missing/vorninit.log");
    openLog(bad.c_str());
    logMessage("lost");
    EXPECT_FALSE(std::filesystem::exists(bad));
    openLog(path("first.log").c_str());
    logMessage("found");
    closeLog();
    EXPECT_EQ(read("first.log"), "found\n");
}

TEST_F(DiagLogTest, SecondOpenIsIgnoredUntilTheFirstCloses) {
    openLog(path("vorntest.log").c_str());
    logMessage("test started");
    openLog(path("vornsave.log").c_str());
    logMessage("saving");
    closeLog();
    logMessage("dropped");
    EXPECT_EQ(read("vorntest.log"), "test started\nsaving\n");
    EXPECT_FALSE(std::filesystem::exists(path("vornsave.log")));

    openLog(path("vornsave.log").c_str());
    logMessage("own file now");
    closeLog();
    EXPECT_EQ(read("vornsave.log"), "own file now\n");
    EXPECT_EQ(read("vorntest.log"), "test started\nsaving\n");
}

TEST_F(DiagLogTest, LongLinesAreCutAt1023Characters) {
    for (const auto& [length, kept] : {std::pair<size_t, size_t>{0, 0},
                                       {1022, 1022},
                                       {1023, 1023},
                                       {1024, 1023},
                                       {5000, 1023}}) {
        SCOPED_TRACE(length);
        std::string text;
        for (size_t i = 0; i < length; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        openLog(path("long.log").c_str());
        logMessage("%s", text.c_str());
        logMessage("next");
        closeLog();
        EXPECT_EQ(read("long.log"), text.substr(0, kept) + "\nnext\n");
    }
}

TEST_F(DiagLogTest, ExceptionLinesNameThePlaceTheClassAndTheMessage) {
    const std::string file = path("vorntest.log");
    openLog(file.c_str());
    logException("RunTestClick", std::runtime_error("device vanished"));
    logException("doGet", std::out_of_range("index 7"));
    logException("saveClick", std::bad_alloc());
    logUnknownException("DiskRwThreadHelper", -1);
    logUnknownException("RAccessThreadHelper", static_cast<int>(0xC0000005u));
    closeLog();
    EXPECT_EQ(readText(file),
              "EXCEPTION: RunTestClick std::runtime_error device vanished\n"
              "EXCEPTION: doGet std::out_of_range index 7\n"
              "EXCEPTION: saveClick std::bad_alloc std::bad_alloc\n"
              "SEH EXCEPTION: DiskRwThreadHelper -1\n"
              "SEH EXCEPTION: RAccessThreadHelper -1073741819\n");
}

TEST_F(DiagLogTest, ProgramVersionIsTheBuiltOne) {
    ASSERT_STRNE(VORN_VERSION_TEXT, "");
    EXPECT_STREQ(platform::programVersion(), VORN_VERSION_TEXT);
}

TEST_F(DiagLogTest, LinesOfTwoThreadsStayWhole) {
    constexpr int kLines = 2000;
    const std::string file = path("threads.log");
    const std::string a(700, 'a');
    const std::string b(900, 'b');
    openLog(file.c_str());
    auto writer = [](const std::string& text) {
        for (int i = 0; i < kLines; ++i) {
            logMessage("%s", text.c_str());
        }
    };
    std::thread first(writer, std::cref(a));
    std::thread second(writer, std::cref(b));
    first.join();
    second.join();
    closeLog();

    std::istringstream in(readText(file));
    std::map<std::string, int> lines;
    for (std::string line; std::getline(in, line);) {
        ++lines[line.size() == 700 || line.size() == 900 ? line : "broken line"];
    }
    EXPECT_EQ(lines, (std::map<std::string, int>{{a, kLines}, {b, kLines}}));
}

}  // namespace
}  // namespace vorn::test
