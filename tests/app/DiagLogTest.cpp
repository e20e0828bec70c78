#include "app/DiagLog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "BuildInfo.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class DiagLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        closeLog();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               (std::string("vorn-diaglog-") + info->name() + "-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        closeLog();
        fs::remove_all(dir_);
    }

    std::string path(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(DiagLogTest, LinesWithoutAnOpenLogGoNowhere) {
    logMessage("before any log %d", 1);
    const std::string first = path("first.log");
    openLog(first.c_str());
    logMessage("kept %d", 2);
    closeLog();
    logMessage("after close");
    closeLog();  // closing twice is harmless

    const std::string second = path("second.log");
    openLog(second.c_str());
    logMessage("next");
    closeLog();
    EXPECT_EQ(readFile(first), "kept 2\n");
    EXPECT_EQ(readFile(second), "next\n");
}

TEST_F(DiagLogTest, SecondOpenIsIgnoredUntilTheFirstCloses) {
    const std::string outer = path("vorntest.log");
    const std::string inner = path("vornsave.log");
    openLog(outer.c_str());
    logMessage("test started");
    openLog(inner.c_str());
    logMessage("saving");
    closeLog();
    logMessage("dropped");
    EXPECT_EQ(readFile(outer), "test started\nsaving\n");
    EXPECT_FALSE(fs::exists(inner));

    openLog(inner.c_str());
    logMessage("own file now");
    closeLog();
    EXPECT_EQ(readFile(inner), "own file now\n");
    EXPECT_EQ(readFile(outer), "test started\nsaving\n");
}

TEST_F(DiagLogTest, EveryOpenEmptiesItsFile) {
    const std::string file = path("vorntest.log");
    std::ofstream(file) << "left from an earlier program\n";
    for (const char* run : {"run one", "run two"}) {
        openLog(file.c_str());
        logMessage("%s", run);
        closeLog();
        EXPECT_EQ(readFile(file), std::string(run) + "\n");
    }
}

TEST_F(DiagLogTest, UnopenableFileLeavesNoLogOpen) {
    const std::string bad = path("missing/vorninit.log");
    openLog(bad.c_str());
    logMessage("lost");
    EXPECT_FALSE(fs::exists(bad));

    // Nothing is held open, so the next open takes effect.
    const std::string good = path("vornrefresh.log");
    openLog(good.c_str());
    logMessage("found");
    closeLog();
    EXPECT_EQ(readFile(good), "found\n");
}

TEST_F(DiagLogTest, LongLinesAreCutAt1023Characters) {
    struct Case {
        size_t length;
        size_t kept;
    };
    const Case cases[] = {{0, 0}, {1022, 1022}, {1023, 1023}, {1024, 1023}, {5000, 1023}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string file = path("long.log");
        std::string text;
        for (size_t i = 0; i < c.length; ++i) {
            text += static_cast<char>('a' + i % 26);
        }
        openLog(file.c_str());
        logMessage("%s", text.c_str());
        logMessage("next");
        closeLog();
        EXPECT_EQ(readFile(file), text.substr(0, c.kept) + "\nnext\n");
    }
}

TEST_F(DiagLogTest, ExceptionLinesNameThePlaceTheClassAndTheMessage) {
    const std::string file = path("vorntest.log");
    openLog(file.c_str());
    logException("RunTestClick", std::runtime_error("device vanished"));
    logException("doGet", std::out_of_range("index 7"));
    logException("saveClick", std::bad_alloc());
    logSehException("DiskRwThreadHelper", -1);
    logSehException("RAccessThreadHelper", static_cast<int>(0xC0000005u));
    closeLog();
    EXPECT_EQ(readFile(file),
              "EXCEPTION: RunTestClick std::runtime_error device vanished\n"
              "EXCEPTION: doGet std::out_of_range index 7\n"
              "EXCEPTION: saveClick std::bad_alloc std::bad_alloc\n"
              "SEH EXCEPTION: DiskRwThreadHelper -1\n"
              "SEH EXCEPTION: RAccessThreadHelper -1073741819\n");
}

TEST_F(DiagLogTest, FileVersionIsKnownForTheProgramOnly) {
    ASSERT_STRNE(VORN_VERSION_TEXT, "");
    for (const char* name : {"qkvorn", "qkvorn.exe"}) {
        const char* version = fileVersion(name);
        ASSERT_NE(version, nullptr) << name;
        EXPECT_STREQ(version, VORN_VERSION_TEXT) << name;
    }
    for (const char* name :
         {"other.exe", "qkvorn.dll", "qkvornx", "", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(fileVersion(name), nullptr) << (name ? name : "(null)");
    }
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

    std::ifstream in(file);
    std::string line;
    int countA = 0;
    int countB = 0;
    while (std::getline(in, line)) {
        if (line == a) {
            ++countA;
        } else if (line == b) {
            ++countB;
        } else {
            ADD_FAILURE() << "broken line of " << line.size() << " characters";
            break;
        }
    }
    EXPECT_EQ(countA, kLines);
    EXPECT_EQ(countB, kLines);
}

}  // namespace
}  // namespace vorn::test
