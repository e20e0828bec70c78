#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/LibraryBytes.h"
#include "net/LoopbackServers.h"
#include "net/NoticeView.h"
#include "net/UpdateCheck.h"
#include "support/InTempFolder.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

constexpr const char* kChecking = "Checking for new benchmark data and QK Vorn updates.";
// Boxes as lines: "i " an information box, "? " a question.
constexpr const char* kUpdated = "i Updated benchmark library files downloaded sucessfully.";
constexpr const char* kNothingNew = "i No new benchmark library files available.";
constexpr const char* kError = "i Error during update.";
// Python's file server answers a missing file with 404.
const std::string kNoList =
    "i Error during update. The update list updates1.0.0.1 could not be fetched: The requested "
    "URL returned error: 404.";
const std::string kGone =
    "i Error during update. GONE.QKL was not kept: The requested URL returned error: 404.";
// A folder answers with a redirection to its listing, which is no library either.
const std::string kFolder =
    "i Error during update. FOLDER.QKL was not kept: it is a web page, not a benchmark library.";
constexpr const char* kNewVersion =
    "i There is a new version of QK Vorn available, please go to http://www.velto.example to "
    "download!";
const std::set<std::string> kServed = {"A.QKL",  "B.QKL",   "C.QKL",    "LIB1.QKL",
                                       "ok.QKL", "lib.WpL", "temp.qkt", "-rf.qkl"};

std::string asked(int count) {
    return "? " + std::to_string(count) + " new benchmark library files found.  Update now?";
}

struct RecordingNotice : I_NoticeView {
    void setNoticeText(const std::string& text) override { shown.push_back(text); }
    void showNotice() override {}
    void hideNotice() override { ++hidden; }
    std::vector<std::string> shown;
    size_t hidden = 0;
};

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ready());
        // A folder answers with a redirection, which is no file either.
        std::filesystem::create_directories(served_.path() / "qkvorn" / "FOLDER.QKL");
        for (const std::string& name : kServed) {
            served_.write("qkvorn/" + name, library_);
        }
    }
    UpdateCheckSettings settings(const char* version) const {
        UpdateCheckSettings settings;
        settings.server = server_.url() + "/";
        settings.programVersion = version;
        settings.minimumNotice = std::chrono::milliseconds(0);
        return settings;
    }

    const std::string library_ = libraryBytes(1);
    TempDir served_;
    HttpServer server_{served_.path().string()};
    InTempFolder here_;
};

TEST_F(UpdateCheckTest, ListsAndDownloads) {
    const struct {
        const char* version;  // the program's
        const char* list;     // nullptr: the server has none
        const char* local;    // a file here before, or nullptr
        std::vector<std::string> boxes;
        std::vector<std::string> requested;  // downloads, in order
        const char* logged = "";
    } cases[] = {
        {"1.0.0.1", "1.0.0.1\n; A.QKL\n\n;B.QKL\n", nullptr, {kNothingNew}, {}},
        {"1.0.0.1",
         "1.0.0.1\nA.QKL\nB.QKL\nC.QKL\n",
         "B.QKL",
         {asked(2), kUpdated},
         {"A.QKL", "C.QKL"}},
        {"1.0.0.1", "1.0.0.1\r\nLIB1.QKL\r\n", nullptr, {asked(1), kUpdated}, {"LIB1.QKL"}},
        // Versions compare number by number: 1.0.0.10 is the newer.
        {"1.0.0.10", "1.0.0.9\n", nullptr, {kNothingNew}, {}},
        {"1.0.0.9", "1.0.0.10\n", nullptr, {kNothingNew, kNewVersion}, {}},
        {"1.0.0.1",
         "1.0.0.1\nGONE.QKL\nA.QKL\n",
         nullptr,
         {asked(2), kGone},
         {"GONE.QKL", "A.QKL"},
         "EXCEPTION: doGet"},
        {"1.0.0.1",
         "1.0.0.1\nFOLDER.QKL\n",
         nullptr,
         {asked(1), kFolder},
         {"FOLDER.QKL"},
         "FOLDER.QKL refused: it is a web page"},
        // A list that could not be read is one failure, never "nothing new".
        {"1.0.0.1", nullptr, nullptr, {kNoList}, {}},
        {"1.0.0.1",
         "1.0.0.1\n../up.QKL\n.hidden\nsub/x.QKL\nx\\y.QKL\nx..y\na b\nabc$\nok.QKL\n",
         nullptr,
         {asked(1), kUpdated},
         {"ok.QKL"},
         "** Unsafe file name in update list skipped: ../up.QKL"},
        // Only library files: not the viewers' result, no log, nothing like an option,
        // and a name repeated is one file.
        {"1.0.0.1",
         "1.0.0.1\ntemp.qkt\n-rf.qkl\nvorninternet.log\nA.QKL\nA.QKL\nlib.WpL\nA.QKL\n",
         nullptr,
         {asked(2), kUpdated},
         {"A.QKL", "lib.WpL"},
         "** Unsafe file name in update list skipped: temp.qkt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list != nullptr ? c.list : "no list");
        const std::string listName = std::string("updates") + c.version;
        std::filesystem::remove(served_.file("qkvorn/" + listName));
        if (c.list != nullptr) {
            served_.write("qkvorn/" + listName, c.list);
        }
        if (c.local != nullptr) {
            here_.folder.write(c.local, "local");
        }
        ScriptedDialogs dialogs({}, true);
        RecordingNotice notice;

        EXPECT_EQ(checkForUpdates(dialogs, notice, settings(c.version)),
                  c.boxes.back().rfind(kError, 0) != 0);

        std::vector<std::string> boxes;
        for (const DialogBox& box : dialogs.boxes) {
            boxes.push_back((box.kind == DialogBox::Question ? "? " : "i ") + box.text);
        }
        EXPECT_EQ(boxes, c.boxes);
        std::vector<std::string> shown = {kChecking};
        std::set<std::string> left = {"vorninternet.log"};
        for (const std::string& name : c.requested) {
            shown.push_back("Downloading file: " + name);
            if (kServed.count(name) != 0) {
                left.insert(name);
                EXPECT_EQ(here_.read(name), library_);
            }
        }
        EXPECT_EQ(notice.shown, shown);
        EXPECT_EQ(notice.hidden, shown.size());
        EXPECT_NE(here_.read("vorninternet.log").find(c.logged), std::string::npos);
        if (c.local != nullptr) {
            EXPECT_EQ(here_.read(c.local), "local");
            left.insert(c.local);
        }
        // Nothing else is left: no list, no failed or unsafe download.
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(here_.folder.path())) {
            found.insert(entry.path().filename().string());
            std::filesystem::remove(entry.path());
        }
        EXPECT_EQ(found, left);
    }
}

TEST(LibraryNames, OnlyLibraryFilesOfPlainNames) {
    for (const char* name : {"A.QKL", "lib.qkl", "x.WPL", "Lib_2-b.Qkl", "9.wpl"}) {
        EXPECT_TRUE(isSafeLibraryName(name)) << name;
    }
    for (const char* name : {"temp.qkt", ".qkl", "-rf.qkl", "_a.qkl", "a..qkl", "a/b.qkl",
                             "a b.qkl", "A.QKL.tmp", "qkl", "event.log", "a.qk", ""}) {
        EXPECT_FALSE(isSafeLibraryName(name)) << name;
    }
}

// Servers that never end, announce a terabyte, drip, or dawdle past the time limit:
// each download is cut off by its limit, the cause is named, and nothing is left
// behind (the update list included).
TEST(UpdateCheckLimits, HostileServersAreCutOffAndLeaveNoFile) {
    const struct {
        const char* mode;
        long lowSpeedBytes;
        long totalSeconds;
        const char* why;
    } cases[] = {
        {"endless-list", 100, 600,
         "The update list updates1.0.0.1 could not be fetched: the file is larger than"},
        {"huge-list", 100, 600,
         "The update list updates1.0.0.1 could not be fetched: the file is larger than"},
        {"drip-list", 100, 600,
         "The update list updates1.0.0.1 could not be fetched: the server was too slow"},
        {"endless", 100, 600,
         "BIG.QKL was not kept: the file is larger than the limit of 4194304 bytes"},
        {"huge", 100, 600, "BIG.QKL was not kept: the file is larger than"},
        {"drip", 100, 600, "BIG.QKL was not kept: the server was too slow"},
        // Faster than the low-speed limit, but never done.
        {"drip", 1, 2, "BIG.QKL was not kept: the server was too slow"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        TempDir scripts;
        HostileHttpServer server(scripts, c.mode);
        ASSERT_TRUE(server.ready());
        InTempFolder here;
        UpdateCheckSettings settings;
        settings.server = server.url();
        settings.programVersion = "1.0.0.1";
        settings.minimumNotice = std::chrono::milliseconds(0);
        settings.libraryMaxBytes = 4u << 20;
        settings.http.stallSeconds = 1;
        settings.http.lowSpeedBytes = c.lowSpeedBytes;
        settings.http.totalSeconds = c.totalSeconds;
        ScriptedDialogs dialogs({}, true);
        RecordingNotice notice;
        std::string why;
        EXPECT_FALSE(checkForUpdates(dialogs, notice, settings, &why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(here.folder.path())) {
            found.insert(entry.path().filename().string());
        }
        EXPECT_EQ(found, std::set<std::string>{"vorninternet.log"});
    }
}

TEST_F(UpdateCheckTest, StalledServerFailsAndLeavesNoFile) {
    LoopbackListener silent;
    UpdateCheckSettings stalling = settings("1.0.0.1");
    stalling.server = "http://127.0.0.1:" + std::to_string(silent.port);
    stalling.http.stallSeconds = 1;
    RecordingNotice notice;
    EXPECT_FALSE(downloadFile("A.QKL", nullptr, notice, stalling, kLibraryMaxBytes));
    EXPECT_FALSE(here_.has("A.QKL"));
}

// The download blocks the thread that asks for it, which is told the progress as it
// goes, the whole file last.
TEST_F(UpdateCheckTest, ProgressIsToldOnTheFetchingThread) {
    struct ProgressNotice : RecordingNotice {
        void setProgress(uint64_t received, uint64_t expected) override {
            told.emplace_back(received, expected);
            threads.insert(std::this_thread::get_id());
        }
        std::vector<std::pair<uint64_t, uint64_t>> told;
        std::set<std::thread::id> threads;
    };
    const std::string big(3u << 20, 'x');
    served_.write("qkvorn/BIG.QKL", big);
    ProgressNotice notice;
    ASSERT_TRUE(downloadFile("BIG.QKL", nullptr, notice, settings("1.0.0.1"), kLibraryMaxBytes));
    EXPECT_EQ(here_.read("BIG.QKL").size(), big.size());
    ASSERT_FALSE(notice.told.empty());
    EXPECT_EQ(notice.told.back(), std::make_pair(uint64_t(big.size()), uint64_t(big.size())));
    for (size_t i = 1; i < notice.told.size(); ++i) {
        EXPECT_LE(notice.told[i - 1].first, notice.told[i].first);
    }
    EXPECT_EQ(notice.threads, std::set<std::thread::id>{std::this_thread::get_id()});

    // A receiver that throws ends the transfer as a failure, not the program.
    struct ThrowingNotice : RecordingNotice {
        void setProgress(uint64_t, uint64_t) override { throw std::runtime_error("notice gone"); }
    } throwing;
    std::string why;
    EXPECT_FALSE(
        downloadFile("B.QKL", nullptr, throwing, settings("1.0.0.1"), kLibraryMaxBytes, {}, &why));
    EXPECT_EQ(why, "notice gone");
    EXPECT_FALSE(here_.has("B.QKL"));
}

// A cancel from another thread ends a transfer the server holds, long before its stall
// limit, and keeps nothing.
TEST_F(UpdateCheckTest, ACancelEndsATransferTheServerHolds) {
    RecordingNotice notice;
    std::string why;
    LoopbackListener silent;
    UpdateCheckSettings held = settings("1.0.0.1");
    held.server = "http://127.0.0.1:" + std::to_string(silent.port);
    held.http.stallSeconds = 60;
    std::atomic<int> cancel{0};
    held.http.cancel = &cancel;
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        cancel = 2;
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(downloadFile("A.QKL", nullptr, notice, held, kLibraryMaxBytes, {}, &why));
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(why, "cancelled");
    EXPECT_FALSE(here_.has("A.QKL"));
}

}  // namespace
}  // namespace vorn::test
