#include "maker/Publish.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "maker/MakerResults.h"
#include "net/UpdateCheck.h"
#include "results/Collections.h"
#include "support/TempDir.h"
#include "view/ChartResults.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVersion = "1.2.3.4";

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        out.push_back(text.substr(start, end - start));
    }
    return out;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// Every file of the site by its path inside it.
std::map<std::string, std::string> siteFiles(const fs::path& site) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(site)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), site).string()] = readText(entry.path().string());
        }
    }
    return files;
}

std::vector<std::string> libraryNames(const fs::path& site) {
    std::vector<std::string> names;
    for (const auto& [path, bytes] : siteFiles(site)) {
        if (path.ends_with(".QKL")) {
            names.push_back(path);
        }
    }
    return names;
}

// The DRIVEID of each member of a library, in member order.
std::vector<std::string> memberIds(const std::string& path) {
    std::vector<std::string> ids;
    auto library = openCollection(path.c_str());
    EXPECT_NE(library, nullptr) << path;
    for (uint32_t i = 0; library && i < library->getMemberCount(); ++i) {
        char text[256] = {};
        uint32_t valueCapacity = sizeof text - 1;
        uint32_t dataCapacity = 0;
        EXPECT_TRUE(library->selectMember(i));
        EXPECT_TRUE(library->findEntry("DRIVEID", &valueCapacity, text, &dataCapacity, nullptr));
        ids.push_back(text);
    }
    return ids;
}

class PublishTest : public ::testing::Test {
protected:
    void add(const std::string& name, const StoredResult& result) {
        ASSERT_TRUE(writeResultFile(results_.file(name + ".qkc"), result));
    }

    PublishReport publish(uint64_t libraryMaxBytes = kLibraryMaxBytes) {
        PublishRequest request{results_.path().string(), site(), kVersion, libraryMaxBytes};
        PublishReport report;
        EXPECT_TRUE(publishSite(request, &report)) << report.failure;
        return report;
    }

    std::string site() const { return (site_.path() / "site").string(); }
    std::string read(const std::string& path) const { return readText(site() + "/" + path); }
    bool exists(const std::string& path) const { return fs::exists(site() + "/" + path); }

    TempDir results_;
    TempDir site_;
};

TEST_F(PublishTest, UpdateListNamesTheVersionThenEveryLibraryInOrder) {
    add("aaa1", makerResult("Stick A", kTime2025, 20000000, usbLink("Stick A")));
    add("bbb2", makerResult("Card B", kTime2025, 30000000, cardLink()));
    add("ccc3", makerResult("Disk C", kTime2008, 40000000, std::nullopt, 3));
    add("ddd4", makerResult("Old stick", kTime2008, 10000000));  // USB 2.0 by its record only
    const PublishReport report = publish();
    EXPECT_EQ(report.results, 4u);
    EXPECT_EQ(report.libraries, 4u);

    const std::vector<std::string> list = lines(read(updateListName(kVersion)));
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0], kVersion);
    const std::vector<std::string> names(list.begin() + 1, list.end());
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
    EXPECT_EQ(names, libraryNames(site()));
    const std::regex shape("(USB|SD|OTHER)-(\\d{4}|UNDATED)-[0-9A-F]{12}\\.QKL");
    std::set<std::string> groups;
    for (const std::string& name : names) {
        EXPECT_TRUE(std::regex_match(name, shape)) << name;
        EXPECT_TRUE(isSafeLibraryName(name)) << name;
        groups.insert(name.substr(0, name.rfind('-')));
    }
    EXPECT_EQ(groups, (std::set<std::string>{"OTHER-2008", "SD-2025", "USB-2008", "USB-2025"}));
}

TEST_F(PublishTest, LibrariesHoldTheirGroupByteForByteInNameOrder) {
    add("zz9", makerResult("Second", kTime2025, 20000000, usbLink("x")));
    add("aa1", makerResult("First", kTime2025, 30000000, usbLink("y")));
    add("mm5", makerResult("Card", kTime2025, 30000000, cardLink()));
    publish();
    std::map<std::string, std::vector<std::string>> members;
    for (const std::string& name : libraryNames(site())) {
        members[name.substr(0, name.find('-'))] = memberIds(site() + "/" + name);
    }
    EXPECT_EQ(members["USB"], (std::vector<std::string>{"First", "Second"}));
    EXPECT_EQ(members["SD"], (std::vector<std::string>{"Card"}));
    // A member is the result file itself.
    const std::string usb = libraryNames(site()).back();
    EXPECT_NE(read(usb).find(results_.read("aa1.qkc")), std::string::npos);
}

TEST_F(PublishTest, IndexHasARowPerResultWithItsFiguresAndPage) {
    add("one", makerResult("Stick One", kTime2025, 20000000, usbLink("p")));
    add("two", makerResult("Stick Two", kTime2008, 8000000));
    publish();
    const std::string index = read("index.html");
    EXPECT_NE(index.find("<table id=\"results\">"), std::string::npos);
    for (const char* key : {"drive", "bus", "link", "capacity", "maxread", "maxwrite", "seqaccess",
                            "rndaccess", "ratings", "date"}) {
        EXPECT_NE(index.find("data-key=\"" + std::string(key) + "\""), std::string::npos) << key;
    }
    const std::regex row("<tr data-name=\"([^\"]+)\">");
    std::vector<std::string> rows;
    for (auto it = std::sregex_iterator(index.begin(), index.end(), row);
         it != std::sregex_iterator(); ++it) {
        rows.push_back((*it)[1]);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"one", "two"}));
    // 20,000,000 bytes/s read at 64k is 20.00 MB/s; 131072 sectors of 512 bytes.
    EXPECT_NE(index.find("<td data-v=\"20\">20.00</td>"), std::string::npos);
    EXPECT_NE(index.find("<td data-v=\"67108864\">67.1MB</td>"), std::string::npos);
    EXPECT_NE(index.find("<td data-v=\"1748779200\">2025-06-01</td>"), std::string::npos);
    EXPECT_NE(index.find("<a href=\"r/one.html\">Stick One</a>"), std::string::npos);
    for (const char* name : {"one", "two"}) {
        const std::string page = read("r/" + std::string(name) + ".html");
        EXPECT_EQ(count(page, "<svg"), 2u) << name;  // read and write; no extended tests
        EXPECT_NE(page.find("<script type=\"application/json\" id=\"result-data\">{\"name\":\"" +
                            std::string(name) + "\""),
                  std::string::npos)
            << name;
    }
}

// The extended figures a run stored go into their own columns and charts; a result
// without them keeps those cells empty, and sorts after any figure.
TEST_F(PublishTest, ExtendedFiguresHaveTheirColumnsAndCharts) {
    add("ext", extendedSample("Ext Stick", {45'200'000, 0, 5'320'000}, {20'000'000}));
    add("plain", sampleResult("Plain Stick", {3000000}, {1000000}));
    publish();
    const std::string index = read("index.html");
    for (const char* key : {"rseq1mq1", "rseq1mq8", "rrnd4kq1", "rrnd4kq32", "wseq1mq1"}) {
        EXPECT_NE(index.find("data-key=\"" + std::string(key) + "\""), std::string::npos) << key;
    }
    const std::string ext = index.substr(index.find("<tr data-name=\"ext\">"));
    const std::string extRow = ext.substr(0, ext.find("</tr>"));
    // SEQ1M Q1 read at 45.2 MB/s; RND4K Q1 at 5,320,000 B/s is 1298.8 transfers of
    // 4 KiB a second; the write's SEQ1M Q1 at 20 MB/s.
    EXPECT_NE(extRow.find(">45.20</td><td></td><td data-v=\"1298.828\">1299</td><td></td>"
                          "<td data-v=\"20\">20.00</td>"),
              std::string::npos)
        << extRow;
    const std::string plain = index.substr(index.find("<tr data-name=\"plain\">"));
    const std::string plainRow = plain.substr(0, plain.find("</tr>"));
    // No device record (bus, link, capacity), none of the 8 extended figures, no ratings.
    EXPECT_EQ(count(plainRow, "<td></td>"), 12u) << plainRow;
    // Read and write, then the extended read and write charts.
    EXPECT_EQ(count(read("r/ext.html"), "<svg"), 4u);
    EXPECT_EQ(count(read("r/plain.html"), "<svg"), 2u);
}

TEST_F(PublishTest, EveryTextFromAResultIsEscaped) {
    const std::string hostile = "<script>alert(1)</script>";
    add("evil",
        makerResult(hostile, kTime2025, 20000000, cardLink("<img src=x onerror=alert(2)>")));
    publish();
    for (const auto& [path, bytes] : siteFiles(site())) {
        if (path.ends_with(".QKL")) {
            continue;  // the library is the result itself, for the program to read
        }
        EXPECT_EQ(bytes.find("<script>alert"), std::string::npos) << path;
        EXPECT_EQ(bytes.find("<img src=x"), std::string::npos) << path;
    }
    EXPECT_NE(read("index.html").find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(read("r/evil.html").find("&lt;img src=x onerror=alert(2)&gt;"), std::string::npos);
    // The page's data holds the name escaped, and its element ends where its JSON does.
    const std::string page = read("r/evil.html");
    const std::string open = "id=\"result-data\">";
    const size_t start = page.find(open) + open.size();
    const std::string data = page.substr(start, page.find("</script>", start) - start);
    EXPECT_NE(data.find("\\u003Cscript\\u003Ealert(1)\\u003C/script\\u003E"), std::string::npos);
    EXPECT_EQ(data.substr(data.size() - 2), "}\n");
}

struct Stamp {
    ino_t inode;
    timespec modified;
};

std::map<std::string, Stamp> stamps(const fs::path& site) {
    std::map<std::string, Stamp> out;
    for (const auto& [path, bytes] : siteFiles(site)) {
        struct stat info = {};
        EXPECT_EQ(::stat((site / path).c_str(), &info), 0);
        out[path] = {info.st_ino, info.st_mtim};
    }
    return out;
}

TEST_F(PublishTest, APublishWithNothingNewRewritesNothing) {
    add("one", makerResult("Stick One", kTime2025, 20000000, usbLink("p")));
    add("two", makerResult("Card Two", kTime2025, 20000000, cardLink()));
    const PublishReport first = publish();
    EXPECT_EQ(first.files.written, 2u + 2 + 6);  // pages, libraries, the rest
    const auto before = stamps(site());
    const PublishReport second = publish();
    EXPECT_EQ(second.files.written, 0u);
    EXPECT_EQ(second.files.unchanged, first.files.written);
    EXPECT_EQ(second.files.removed, 0u);
    const auto after = stamps(site());
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [path, stamp] : before) {
        EXPECT_EQ(after.at(path).inode, stamp.inode) << path;
        EXPECT_EQ(after.at(path).modified.tv_nsec, stamp.modified.tv_nsec) << path;
    }
}

TEST_F(PublishTest, ARemovedResultTakesItsPageAndLibraryAlong) {
    add("keep", makerResult("Kept", kTime2025, 20000000, usbLink("p")));
    add("gone", makerResult("Gone", kTime2008, 20000000, cardLink()));
    publish();
    const std::vector<std::string> before = libraryNames(site());
    ASSERT_EQ(before.size(), 2u);
    // Files publish did not write stay whatever their names.
    fs::create_directories(site() + "/r");
    std::ofstream(site() + "/r/own.html") << "mine";
    std::ofstream(site() + "/notes.QKL") << "mine";

    fs::remove(results_.file("gone.qkc"));
    const PublishReport report = publish();
    EXPECT_EQ(report.files.removed, 2u);
    EXPECT_FALSE(exists("r/gone.html"));
    EXPECT_TRUE(exists("r/keep.html"));
    EXPECT_TRUE(exists("r/own.html"));
    EXPECT_TRUE(exists("notes.QKL"));
    const std::vector<std::string> list = lines(read(updateListName(kVersion)));
    EXPECT_EQ(list, (std::vector<std::string>{kVersion, before[1]}));
    EXPECT_FALSE(exists(before[0]));
    EXPECT_EQ(read("index.html").find("gone"), std::string::npos);
}

TEST_F(PublishTest, AGroupThatChangesGetsANewNameAndTheOldOneGoes) {
    add("a1", makerResult("First", kTime2025, 20000000, usbLink("p")));
    publish();
    const std::vector<std::string> before = libraryNames(site());
    add("a2", makerResult("Second", kTime2025, 20000000, usbLink("q")));
    publish();
    const std::vector<std::string> after = libraryNames(site());
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_NE(before[0], after[0]);
    EXPECT_EQ(before[0].substr(0, 9), after[0].substr(0, 9));  // "USB-2025-"
    EXPECT_EQ(memberIds(site() + "/" + after[0]), (std::vector<std::string>{"First", "Second"}));
}

TEST_F(PublishTest, AGroupPastTheLibraryLimitIsCutIntoSeveral) {
    for (int i = 0; i < 5; ++i) {
        add("r" + std::to_string(i), makerResult("S" + std::to_string(i), kTime2025, 20000000));
    }
    const uint64_t oneResult = fs::file_size(results_.file("r0.qkc"));
    const PublishReport report = publish(2 * oneResult + 32);
    EXPECT_EQ(report.libraries, 3u);
    std::vector<std::string> all;
    for (const std::string& name : libraryNames(site())) {
        EXPECT_LE(fs::file_size(site() + "/" + name), 2 * oneResult + 32) << name;
        const std::vector<std::string> ids = memberIds(site() + "/" + name);
        all.insert(all.end(), ids.begin(), ids.end());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"S0", "S1", "S2", "S3", "S4"}));
}

TEST_F(PublishTest, AnEmptyFolderMakesAnEmptySite) {
    const PublishReport report = publish();
    EXPECT_EQ(report.results, 0u);
    EXPECT_EQ(read(updateListName(kVersion)), std::string(kVersion) + "\n");
    EXPECT_TRUE(libraryNames(site()).empty());
    EXPECT_NE(read("index.html").find("<tbody>\n</tbody>"), std::string::npos);
    EXPECT_TRUE(exists("compare.html"));
}

TEST_F(PublishTest, FilesThatAreNoResultsAreSkippedAndNamed) {
    add("good", makerResult("Good", kTime2025, 20000000));
    results_.write("damaged.qkc", results_.read("good.qkc").substr(0, 100));
    results_.write("bad name.qkc", results_.read("good.qkc"));
    results_.write("good.logs.txt", "log");
    results_.write("ingest.log", "log");
    fs::create_directory(results_.file("folder.qkc"));
    ASSERT_EQ(::mkfifo(results_.file("pipe.qkc").c_str(), 0600), 0);
    const PublishReport report = publish();
    EXPECT_EQ(report.results, 1u);
    ASSERT_EQ(report.skipped.size(), 4u);
    const char* names[] = {"bad name.qkc: ", "damaged.qkc: ", "folder.qkc: ", "pipe.qkc: "};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(report.skipped[i].rfind(names[i], 0), 0u) << report.skipped[i];
    }
}

TEST_F(PublishTest, AManifestLineOutsideTheSiteIsNeverActedOn) {
    publish();
    const std::string outside = site_.write("outside.txt", "keep");
    std::ofstream(site() + "/" + kManifestName, std::ios::app) << "../outside.txt\n"
                                                               << outside << "\n";
    const PublishReport report = publish();
    EXPECT_EQ(report.files.removed, 0u);
    EXPECT_TRUE(fs::exists(outside));
}

TEST(Publish, AMissingResultsFolderOrABadVersionFails) {
    TempDir site;
    PublishReport report;
    EXPECT_FALSE(publishSite({site.file("none"), site.file("site"), kVersion}, &report));
    EXPECT_NE(report.failure.find("cannot list"), std::string::npos);
    EXPECT_FALSE(publishSite({site.path().string(), site.file("site"), "1.x"}, &report));
    EXPECT_FALSE(fs::exists(site.file("site")));
}

}  // namespace
}  // namespace vorn::test
