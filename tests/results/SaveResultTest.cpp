#include "results/SaveResult.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/DiagLog.h"
#include "cli/CliRun.h"
#include "platform/ProgramInfo.h"
#include "results/ResultBytes.h"
#include "storage/StoredDrive.h"
#include "view/ChartResults.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

const SaveHooks kQuickHooks{[] { return 2400; }, createCollection};

// Each entry as "NAME[=value][/data]", in file order.
std::vector<std::string> entriesOf(const std::string& path) {
    std::vector<std::string> entries;
    auto file = openCollection(path.c_str());
    char name[kEntryNameBuffer];
    for (bool more = file && file->firstEntry(name); more; more = file->nextEntry(name)) {
        uint32_t valueLength = 0;
        uint32_t dataLength = 0;
        EXPECT_TRUE(file->readCurrentEntry(&valueLength, nullptr, &dataLength, nullptr));
        std::string value(valueLength, '\0');
        std::string data(dataLength, '\0');
        EXPECT_TRUE(file->readCurrentEntry(&valueLength, value.data(), &dataLength, data.data()));
        entries.push_back(name + (valueLength ? "=" + value.substr(0, valueLength - 1) : "") +
                          (dataLength ? "/" + data : ""));
    }
    return entries;
}

std::vector<std::string> namesIn(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(SaveResultTest, FileNamesWithAndWithoutTheLocalTestTime) {
    const std::string previous = std::getenv("TZ") ? std::getenv("TZ") : "";
    setenv("TZ", "EST5", 1);  // five hours behind UTC all year
    tzset();
    const struct {
        const char* id;
        std::optional<int32_t> time;
        bool withTime;
        const char* expected;
    } cases[] = {
        {"USB DISK 2.0", 1078513620, false, "USB_DISK_2_0.qkc"},  // 2004-03-05 19:07 UTC
        {"USB DISK 2.0", 1078513620, true, "USB_DISK_2_0_200403051407.qkc"},
        {"USB DISK 2.0", std::nullopt, true, "USB_DISK_2_0_196912311900.qkc"},
        {"-./() ", std::nullopt, false, "______.qkc"},
        {"Kart\xC3\xA9 7", std::nullopt, false, "Kart___7.qkc"},
    };
    TempDir dir;
    for (const auto& test : cases) {
        StoredResult stored;
        stored.testTime = test.time;
        ASSERT_TRUE(writeResultFile(dir.file("r.qkc"), stored));
        auto file = openCollection(dir.file("r.qkc").c_str());
        EXPECT_EQ(resultFileName(test.id, *file, test.withTime), test.expected);
    }
    previous.empty() ? unsetenv("TZ") : setenv("TZ", previous.c_str(), 1);
    tzset();
}

TEST(SaveResultTest, ReportPathIsCutAtTheFirstDotUnlessThatLeavesNoName) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.b/x.qkc", "a.csv"},
        {"dir/x.qkc", "dir/x.csv"},
        {"x", "x.csv"},
        {"./x.qkc", "./x.csv"},
        {"/home/u/.local/x.qkc", "/home/u/.local/x.csv"},
    };
    for (const auto& [result, report] : cases) {
        EXPECT_EQ(reportPathFor(result), report) << result;
    }
}

// A result saved once already: user entries of its own, one name twice.
std::string resavedSource() {
    return resultBytes({{.name = "VERSION", .value = "1.0.0.1"},
                        {.name = "DRIVEID", .value = "Old id"},
                        {.name = "WPCUSRNOTES", .value = "first"},
                        {.name = "WPCUSRNOTES", .value = "second"}});
}

TEST(SaveResultTest, OldEntriesComeFirstAndEmptyFieldsAddNothing) {
    const std::vector<std::string> old = {"VERSION=1.0.0.1", "WPCUSRNOTES=first",
                                          "WPCUSRNOTES=second"};
    const struct {
        ResultDetails details;
        std::vector<std::string> added;
    } cases[] = {
        {{"New id", 0, "CPU", "Reader", "a\r\nb", "notes"},
         {"QKCINT/" + le32(0), "DRIVEID=New id", "WPCUSRPROC=CPU", "QKCREADER=Reader",
          "WPCUSRSYSTEM=a\r\nb", "WPCUSRNOTES=notes"}},
        {{"", -1, "", "", "", ""}, {"DRIVEID="}},
    };
    TempDir dir;
    auto source = openCollection(dir.write("source.qkc", resavedSource()).c_str());
    for (const auto& test : cases) {
        StoredDrive device;
        const std::string target = dir.file("saved.qkc");
        EXPECT_TRUE(
            saveResultFile(test.details, device, *source, target, false, kQuickHooks).resultSaved);
        std::vector<std::string> expected = old;
        expected.insert(expected.end(), test.added.begin(), test.added.end());
        std::vector<std::string> entries = entriesOf(target);
        ASSERT_EQ(entries.size(), expected.size() + 2);
        EXPECT_EQ(entries[expected.size()].substr(0, 9), "WPCCPUID/");
        EXPECT_EQ(entries[expected.size()].size(), 9 + kCpuIdBlockSize);
        EXPECT_EQ(entries.back(), "WPCCPUFREQ/" + le32(2400));
        entries.resize(expected.size());
        EXPECT_EQ(entries, expected);
    }
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"saved.qkc", "source.qkc"}));
}

TEST(SaveResultTest, ReportOfAReadOnlyRunHasEmptyWriteBlocksAndTheCliPrintsIt) {
    TempDir dir;
    StoredResult stored;
    stored.tests = tableTests(readTests, {3000000, 5000000});
    stored.tests[1].zones = 2;
    stored.randomHundredths = 152;
    stored.sequentialHundredths = 31;
    ASSERT_TRUE(writeResultFile(dir.file("run.qkt"), stored));
    auto source = openCollection(dir.file("run.qkt").c_str());
    StoredDrive device;
    const SaveOutcome saved =
        saveResultFile({}, device, *source, dir.file("run.qkc"), true, kQuickHooks);
    EXPECT_TRUE(saved.resultSaved && saved.reportSaved) << saved.problem;

    const std::string header = "MAX,MIN,AVERAGE,MEDIAN,STDDEV,POSITION\n";
    const std::string parameters = "0,1,64,65536,2097152,8388608,1\n";
    std::string expected = std::string("QK Vorn ") + platform::programVersion() +
                           "\n()  (no media)\n\n" + "RANDOM ACCESS TEST\n512\n" + header +
                           "152,152,152,152,0,0\n\n\n\n" + "SEQUENTIAL ACCESS TEST\n512\n" +
                           header + "31,31,31,31,0,0\n\n\n\n" + "Read Test (2k block)\n" +
                           parameters + header + "3000000,0,3000000,0,0,0\n\n\n\n" +
                           "Read Test (4k block)\n" + parameters + header +
                           "5000000,0,5000000,0,0,0\n5000000,0,2500000,0,0,1048576\n\n\n\n";
    for (int missing = 0; missing < 4 + 6; ++missing) {
        expected += "\n\n\n";
    }
    EXPECT_EQ(dir.read("run.csv"), expected);

    const CliRun run = runCli(dir.path().string(), "report run.qkt");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, expected);
    const CliRun missing = runCli(dir.path().string(), "report nothing.qkc");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1) << missing.err;
}

// Refuses the entry with the given number, as a full disk would.
class FailingWriter : public I_VornCollection {
public:
    FailingWriter(std::unique_ptr<I_VornCollection> inner, int failAt)
        : inner_(std::move(inner)), left_(failAt) {}
    uint32_t getMemberCount() override { return 1; }
    bool selectMember(uint32_t) override { return false; }
    bool addEntry(const char* name, const char* value, uint32_t length, const void* data) override {
        return --left_ != 0 && inner_->addEntry(name, value, length, data);
    }
    bool findEntry(const char*, uint32_t*, char*, uint32_t*, void*) override { return false; }
    bool firstEntry(char*) override { return false; }
    bool nextEntry(char*) override { return false; }
    bool create(const char*) override { return false; }
    bool open(const char*) override { return false; }

private:
    std::unique_ptr<I_VornCollection> inner_;
    int left_;
};

TEST(SaveResultTest, FailuresLeaveNothingPartialAndOldFilesAsTheyWere) {
    const struct {
        const char* target;
        int failAt;  // 0: the writer does not fail
        bool resultSaved;
        const char* named;  // in the message
    } cases[] = {
        {"file.txt/x.qkc", 0, false, "file.txt/x.qkc"},  // creation fails, even for root
        {"old.qkc", 3, false, "old.qkc"},
        {"old.qkc", 0, true, "old.csv"},  // a folder stands where the report goes
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.target);
        TempDir dir;
        auto source = openCollection(dir.write("source.qkc", resavedSource()).c_str());
        dir.write("file.txt", "text");
        dir.write("old.qkc", "the old saved file");
        fs::create_directory(dir.file("old.csv"));
        SaveHooks hooks = kQuickHooks;
        if (test.failAt > 0) {
            hooks.create = [&](const char* path) -> std::unique_ptr<I_VornCollection> {
                return std::make_unique<FailingWriter>(createCollection(path), test.failAt);
            };
        }
        StoredDrive device;
        const SaveOutcome outcome =
            saveResultFile({}, device, *source, dir.file(test.target), true, hooks);
        EXPECT_EQ(outcome.resultSaved, test.resultSaved);
        EXPECT_FALSE(outcome.reportSaved);
        EXPECT_NE(outcome.problem.find(test.named), std::string::npos) << outcome.problem;
        // No temporary file is left behind.
        EXPECT_EQ(namesIn(dir),
                  (std::vector<std::string>{"file.txt", "old.csv", "old.qkc", "source.qkc"}));
        EXPECT_EQ(dir.read("old.qkc") == "the old saved file", !test.resultSaved);
    }
}

}  // namespace
}  // namespace vorn::test
