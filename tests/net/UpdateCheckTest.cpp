#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/RunFixture.h"
#include "net/LoopbackServers.h"
#include "net/NoticeView.h"
#include "net/UpdateCheck.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

constexpr const char* kChecking = "Checking for new benchmark data and QK Vorn updates.";
constexpr const char* kUpdated = "Updated benchmark library files downloaded sucessfully.";
constexpr const char* kNothingNew = "No new benchmark library files available.";
constexpr const char* kError = "Error during update.";
constexpr const char* kNewVersion =
    "There is a new version of QK Vorn available, please go to http://www.velto.example to "
    "download!";

// Boxes as readable lines: "i " for an information box, "? " for a question.
std::string info(const char* text) {
    return std::string("i ") + text;
}
std::string asked(int count) {
    return "? " + std::to_string(count) + " new benchmark library files found.  Update now?";
}
std::vector<std::string> lines(const std::vector<DialogBox>& boxes) {
    std::vector<std::string> lines;
    for (const DialogBox& box : boxes) {
        lines.push_back((box.kind == DialogBox::Question ? "? " : "i ") + box.text);
    }
    return lines;
}

struct RecordingNotice : I_NoticeView {
    void setNoticeText(const std::string& text) override { text_ = text; }
    void showNotice() override { shown.push_back(text_); }
    void hideNotice() override { ++hidden; }
    void processEvents() override {}
    std::vector<std::string> shown;
    size_t hidden = 0;

private:
    std::string text_;
};

struct UpdateCase {
    const char* name;
    const char* version;  // the program's
    const char* list;     // nullptr: the server has none
    std::vector<std::string> served;
    std::vector<std::string> local;  // present here before, as "local"
    bool answer;
    std::vector<std::string> boxes;
    std::vector<std::string> requested;  // downloads started, in order
    std::vector<std::string> arrived;
    std::string logged = {};  // a line the log must hold
};

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ready());
        std::filesystem::create_directories(served_.path() / "qkvorn");
    }
    void serve(const std::string& name, const std::string& bytes) {
        served_.write("qkvorn/" + name, bytes);
    }
    UpdateCheckSettings settings(const char* version) const {
        UpdateCheckSettings settings;
        settings.server = server_.url() + "/";
        settings.programVersion = version;
        settings.minimumNotice = std::chrono::milliseconds(0);
        settings.http.stallSeconds = 5;
        return settings;
    }

    TempDir served_;
    HttpServer server_{served_.path().string()};
    InTempFolder here_;
};

TEST_F(UpdateCheckTest, ListsAndDownloads) {
    const std::vector<UpdateCase> cases = {
        {"only a version and comments",
         "1.0.0.1",
         "1.0.0.1\n; A.QKL\n\n;B.QKL\n",
         {"A.QKL"},
         {},
         true,
         {info(kNothingNew)},
         {},
         {}},
        {"three names, one here",
         "1.0.0.1",
         "1.0.0.1\nA.QKL\nB.QKL\nC.QKL\n",
         {"A.QKL", "B.QKL", "C.QKL"},
         {"B.QKL"},
         true,
         {asked(2), info(kUpdated)},
         {"A.QKL", "C.QKL"},
         {"A.QKL", "C.QKL"}},
        {"update declined",
         "1.0.0.1",
         "1.0.0.1\nA.QKL\nB.QKL\n",
         {"A.QKL"},
         {"B.QKL"},
         false,
         {asked(1)},
         {},
         {}},
        {"CRLF line ends",
         "1.0.0.1",
         "1.0.0.1\r\nLIB1.QKL\r\n",
         {"LIB1.QKL"},
         {},
         true,
         {asked(1), info(kUpdated)},
         {"LIB1.QKL"},
         {"LIB1.QKL"}},
        {"9 sorts after 1",
         "1.0.0.10",
         "1.0.0.9\n",
         {},
         {},
         true,
         {info(kNothingNew), info(kNewVersion)},
         {},
         {}},
        {"10 sorts before 9", "1.0.0.9", "1.0.0.10\n", {}, {}, true, {info(kNothingNew)}, {}, {}},
        {"missing library file",
         "1.0.0.1",
         "1.0.0.1\nGONE.QKL\nA.QKL\n",
         {"A.QKL"},
         {},
         true,
         {asked(2), info(kError)},
         {"GONE.QKL", "A.QKL"},
         {"A.QKL"},
         "EXCEPTION: doGet"},
        {"no update list",
         "1.0.0.1",
         nullptr,
         {},
         {},
         true,
         {info(kNothingNew), info(kError)},
         {},
         {}},
        {"hostile names",
         "1.0.0.1",
         "1.0.0.1\n../up.QKL\n.hidden\nsub/x.QKL\nx\\y.QKL\nx..y\na b\nabc$\nok.QKL\n",
         {"ok.QKL"},
         {},
         true,
         {asked(1), info(kUpdated)},
         {"ok.QKL"},
         {"ok.QKL"},
         "** Unsafe file name in update list skipped: ../up.QKL"},
    };
    for (const UpdateCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string listName = std::string("updates") + c.version;
        std::filesystem::remove_all(served_.path() / "qkvorn");
        std::filesystem::create_directories(served_.path() / "qkvorn");
        if (c.list != nullptr) {
            serve(listName, c.list);
        }
        for (const std::string& name : c.served) {
            serve(name, "served " + name);
        }
        for (const std::string& name : c.local) {
            here_.folder.write(name, "local");
        }
        ScriptedDialogs dialogs({c.answer});
        RecordingNotice notice;

        EXPECT_EQ(checkForUpdates(dialogs, notice, settings(c.version)),
                  c.boxes.back() != info(kError));

        EXPECT_EQ(lines(dialogs.boxes), c.boxes);
        std::vector<std::string> shown = {kChecking};
        for (const std::string& name : c.requested) {
            shown.push_back("Downloading file: " + name);
        }
        EXPECT_EQ(notice.shown, shown);
        EXPECT_EQ(notice.hidden, shown.size());
        for (const std::string& name : c.arrived) {
            EXPECT_EQ(here_.read(name), "served " + name) << name;
        }
        for (const std::string& name : c.local) {
            EXPECT_EQ(here_.read(name), "local") << name;
        }
        EXPECT_EQ(
            c.logged.empty() || here_.read("vorninternet.log").find(c.logged) != std::string::npos,
            true);
        EXPECT_FALSE(here_.has(listName));
        // Only what arrived or was here before is left.
        const size_t expected = c.arrived.size() + c.local.size() + 1;  // + the log
        EXPECT_EQ(static_cast<size_t>(
                      std::distance(std::filesystem::directory_iterator(here_.folder.path()), {})),
                  expected);
        for (const auto& entry : std::filesystem::directory_iterator(here_.folder.path())) {
            std::filesystem::remove(entry.path());
        }
    }
}

TEST_F(UpdateCheckTest, StalledServerFailsAndLeavesNoFile) {
    LoopbackListener silent;
    UpdateCheckSettings stalling = settings("1.0.0.1");
    stalling.server = "http://127.0.0.1:" + std::to_string(silent.port());
    stalling.http.stallSeconds = 1;
    RecordingNotice notice;
    EXPECT_FALSE(downloadFile("A.QKL", nullptr, notice, stalling));
    EXPECT_FALSE(here_.has("A.QKL"));
    EXPECT_EQ(notice.hidden, 1u);
}

}  // namespace
}  // namespace vorn::test
