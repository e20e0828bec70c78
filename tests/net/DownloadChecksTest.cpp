// What a download must be before it is kept, against a server giving the answers
// home users meet: sign-in pages, soft 404s, unasked gzip, redirections.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "net/DownloadChecks.h"
#include "net/LibraryBytes.h"
#include "net/LoopbackServers.h"
#include "net/NoticeView.h"
#include "net/UpdateCheck.h"
#include "platform/ProgramInfo.h"
#include "support/InTempFolder.h"
#include "support/ScriptedDialogs.h"

namespace vorn::test {
namespace {

TEST(Versions, CompareNumberByNumber) {
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        // Byte-wise these two came out the wrong way round.
        {"1.0.0.9", "1.0.0.10", -1}, {"1.0.0.10", "1.0.0.9", 1}, {"1.0.0.1", "1.0.0.1", 0},
        {"1.0", "1.0.0.0", 0},       {"1.0.1", "1.0.0.7", 1},    {"2", "10", -1},
        {"1.10.0.0", "1.9.9.9", 1},  {"1.0.0.1", "", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;
    }
    for (const char* good : {"1", "1.0.0.10", "999999999.0"}) {
        EXPECT_TRUE(isVersionText(good)) << good;
    }
    for (const char* bad : {"", "<!DOCTYPE html>", "1.0.0.0.1", "1..0", ".1", "1.", "v1.0",
                            "1.0 beta", "1234567890"}) {
        EXPECT_FALSE(isVersionText(bad)) << bad;
    }
}

constexpr const char* kError = "i Error during update. ";
constexpr const char* kAsked = "? 3 new benchmark library files found.  Update now?";
constexpr const char* kUpdated = "i Updated benchmark library files downloaded sucessfully.";

struct QuietNotice : I_NoticeView {
    void setNoticeText(const std::string&) override {}
    void showNotice() override {}
    void hideNotice() override {}
};

// Each case: the server's mode, the list it holds, the boxes shown, and the files
// kept here. Every library named is a sound one on the server, unless its name says
// otherwise; nothing partial or refused is ever left.
TEST(DownloadChecks, WhatArrivesIsCheckedBeforeItIsKept) {
    const std::string library = libraryBytes(2);
    std::string damaged = library;
    damaged[damaged.size() - 3] ^= 0x55;  // inside the second member: its CRC fails
    const struct {
        const char* mode;
        std::string list;
        std::vector<std::string> boxes;
        std::set<std::string> kept;
    } cases[] = {
        {"portal", "1.0.0.1\nA.QKL\n", {kError + std::string(kNotAnUpdateList)}, {}},
        {"soft404",
         "Welcome to the network\nA.QKL\n",
         {kError + std::string(kListWithoutVersion)},
         {}},
        {"soft404",
         std::string("1.0.0.1\nA.QKL\n\0\x01\x02", 17),
         {kError + std::string(kNotAnUpdateList)},
         {}},
        {"soft404",
         "1.0.0.1\nGONE.QKL\nA.QKL\nBAD.QKL\n",
         {kAsked, kError + std::string("GONE.QKL was not kept: it is a web page, not a benchmark "
                                       "library. 1 more files failed (see vorninternet.log).")},
         {"A.QKL"}},
        {"soft404",
         "1.0.0.1\nGZA.QKL\nA.QKL\nJUNK.QKL\n",
         {kAsked, kError + std::string("GZA.QKL was not kept: the server sent it with "
                                       "Content-Encoding gzip, where only identity was asked for. "
                                       "1 more files failed (see vorninternet.log).")},
         {"A.QKL"}},
        {"soft404",
         "1.0.0.1\nR3_A.QKL\nR4_B.QKL\nDOWN.QKL\n",
         {kAsked, kError + std::string("R4_B.QKL was not kept: Maximum (3) redirects followed. 1 "
                                       "more files failed (see vorninternet.log).")},
         {"R3_A.QKL"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode + (" " + c.list));
        TempDir served;
        std::filesystem::create_directories(served.path() / "qkvorn");
        const std::string listName = std::string("updates") + platform::programVersion();
        served.write("qkvorn/" + listName, c.list);
        for (const char* name : {"A.QKL", "GZA.QKL", "R3_A.QKL", "R4_B.QKL", "DOWN.QKL"}) {
            served.write(std::string("qkvorn/") + name, library);
        }
        served.write("qkvorn/BAD.QKL", damaged);
        served.write("qkvorn/JUNK.QKL", "QKVLIB but not really");
        TrickyHttpServer server(served, c.mode);
        ASSERT_TRUE(server.ready());
        InTempFolder here;
        UpdateCheckSettings settings = programUpdateSettings();
        settings.server = server.url();
        settings.minimumNotice = std::chrono::milliseconds(0);
        ScriptedDialogs dialogs({}, true);
        QuietNotice notice;

        EXPECT_EQ(checkForUpdates(dialogs, notice, settings), c.boxes.back() == kUpdated);

        std::vector<std::string> boxes;
        for (const DialogBox& box : dialogs.boxes) {
            boxes.push_back((box.kind == DialogBox::Question ? "? " : "i ") + box.text);
        }
        EXPECT_EQ(boxes, c.boxes);
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(here.folder.path())) {
            found.insert(entry.path().filename().string());
        }
        std::set<std::string> expected = c.kept;
        expected.insert("vorninternet.log");
        EXPECT_EQ(found, expected);
        for (const std::string& name : c.kept) {
            EXPECT_EQ(here.read(name), library) << name;
        }
        // Every request names the program and asks for the bytes as they are.
        const std::string agent = std::string("QKVorn/") + platform::programVersion();
        const std::string requests = served.read("requests.log");
        EXPECT_NE(requests.find("\t" + agent + "\tidentity\n"), std::string::npos) << requests;
        EXPECT_EQ(requests.find("\tNone"), std::string::npos) << requests;
    }
}

}  // namespace
}  // namespace vorn::test
