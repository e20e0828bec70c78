// The capacity check inside a test run: a run without it writes the entries it always
// wrote; with it the result has one entry more; on a counterfeit medium the user is
// asked, and the benchmarks stay inside the verified part.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "RunFixture.h"
#include "app/TestRun.h"
#include "bench/DiskRwBenchmark.h"
#include "results/CapacityEntry.h"
#include "results/LinkEntry.h"
#include "support/RecordingRunView.h"
#include "support/ScriptedDialogs.h"
#include "support/TestMedium.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

std::optional<CapacityResult> storedCapacity() {
    auto file = openCollection(kRunResultFile);
    return file ? loadCapacityResult(*file) : std::nullopt;
}

// A press on an image file of 16 MiB, listed and opened by path.
RunOutcome pressOnImage(const std::string& image, bool writeTest, bool capacityCheck,
                        ScriptedDialogs& dialogs) {
    RunJobRequest request = imageRequest(image);
    request.writeTest = writeTest;
    request.capacityCheck = capacityCheck;
    RecordingRunView view;
    return runTestJob(request, view, dialogs).outcome;
}

TEST(CapacityRun, EntriesStayAsTheyWereUnlessTheCheckRan) {
    const struct {
        const char* name;
        bool writeTest;
        bool capacityCheck;
        bool checked;
    } cases[] = {
        {"write test alone", true, false, false},
        {"check asked without the write test", false, true, false},
        {"write test with the check", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InTempFolder here;
        const std::string image = here.folder.file("key.img");
        std::ofstream(image).close();
        std::filesystem::resize_file(image, 16 * kMiB);
        ScriptedDialogs dialogs({}, true);
        ASSERT_EQ(pressOnImage(image, c.writeTest, c.capacityCheck, dialogs),
                  RunOutcome::Succeeded);
        std::vector<std::string> expected = runEntryNames(c.writeTest);
        std::vector<std::string> names = entryNames(kRunResultFile);
        // The device record ends the run's own entries; its keys are the device's.
        std::vector<std::string> own;
        for (const std::string& name : names) {
            if (name.rfind("2KDEVINFO", 0) != 0) {
                own.push_back(name);
            }
        }
        // The link ends every run's file, after the capacity entry.
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ(names.back(), kLinkKey);
        if (c.checked) {
            expected.push_back(kCapacityKey);
            ASSERT_EQ(names[names.size() - 2], kCapacityKey);
            const auto stored = storedCapacity();
            ASSERT_TRUE(stored.has_value());
            EXPECT_EQ(stored->verdict, CapacityVerdict::Genuine);
            EXPECT_EQ(stored->verifiedBytes, 16 * kMiB);
        }
        expected.push_back(kLinkKey);
        EXPECT_EQ(own, expected);
        const std::string events = here.read("event.log");
        EXPECT_EQ(events.find("CAPACITY CHECK") != std::string::npos, c.checked);
    }
}

// Sector and count of every transfer row of event.log after the line `after`.
std::vector<std::pair<uint64_t, uint64_t>> transfersAfter(const std::string& events,
                                                          const std::string& after) {
    std::vector<std::pair<uint64_t, uint64_t>> rows;
    std::istringstream in(events.substr(events.find(after) + after.size()));
    std::string line;
    while (std::getline(in, line)) {
        char kind[16] = {};
        unsigned long long sector = 0, count = 0;
        if (std::sscanf(line.c_str(), "%15[A-Z],%*u,%*[A-Z],%*f,%*f,%llu,%llu", kind, &sector,
                        &count) == 3) {
            rows.emplace_back(sector, std::string(kind) == "WIPE" ? 1 : count);
        }
    }
    return rows;
}

struct MediumRun {
    std::unique_ptr<TestMedium> medium;
    RunOutcome outcome = RunOutcome::NoSelection;
    ScriptedDialogs dialogs;
};

// A write-test run with the check on a medium of `real` bytes claiming 64 MiB.
void runOnCounterfeit(uint64_t real, const char* beyond, std::deque<bool> answers, bool otherwise,
                      MediumRun& out, const std::string& faults = {},
                      std::function<bool(const RecordingRunView&)> cancelWhen = {}) {
    out.medium = std::make_unique<TestMedium>(real);
    if (!out.medium->ready()) {
        return;
    }
    ASSERT_TRUE(out.medium->control("claim=" + std::to_string(64 * kMiB) + "\nbeyond=" + beyond +
                                    "\n" + faults));
    const std::string path = out.medium->mediumPath();
    auto sample = newLinuxDriveForPath(path, nullptr, 65536);
    ASSERT_NE(sample, nullptr);
    RunJobRequest request;
    request.entries = {{listEntryText(*sample), 0}};
    request.selected = 0;
    request.writeTest = true;
    request.capacityCheck = true;
    request.opener = [path](int, I_VornEventLog* log, uint32_t size) {
        return std::unique_ptr<I_VornDevice>(newLinuxDriveForPath(path, log, size));
    };
    sample.reset();
    out.dialogs = ScriptedDialogs(std::move(answers), otherwise);
    RecordingRunView view;
    view.cancelWhen = std::move(cancelWhen);
    out.outcome = runTestJob(request, view, out.dialogs).outcome;
}

TEST(CapacityRun, CounterfeitIsReportedAndTheTestsStayInsideTheVerifiedPart) {
    const uint64_t real = 24 * kMiB + 5 * 512;
    for (const char* beyond : {"wrap", "drop", "error"}) {
        SCOPED_TRACE(beyond);
        InTempFolder here;
        MediumRun run;
        // Overwrite warning, the counterfeit question, and yes to whatever follows.
        runOnCounterfeit(real, beyond, {true, true}, true, run);
        if (!run.medium->ready()) {
            GTEST_SKIP() << run.medium->skipReason();
        }
        ASSERT_EQ(run.outcome, RunOutcome::Succeeded);
        ASSERT_GE(run.dialogs.boxes.size(), 2u);
        const DialogBox& asked = run.dialogs.boxes[1];
        // Going on after a counterfeit verdict writes on: No is its default, and it
        // names the drive as listed (with the claimed size).
        EXPECT_EQ(asked.kind, DialogBox::Destructive);
        EXPECT_NE(asked.drive.find("(67.1MB)"), std::string::npos) << asked.drive;
        EXPECT_NE(asked.text.find("Real capacity: only "), std::string::npos);
        EXPECT_NE(asked.text.find(" of the claimed 67,108,864 usable; data written beyond is lost"),
                  std::string::npos)
            << asked.text;
        const auto stored = storedCapacity();
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->verdict, CapacityVerdict::Counterfeit);
        EXPECT_EQ(stored->claimedBytes, 64 * kMiB);
        EXPECT_LE(stored->verifiedBytes, real);
        EXPECT_GE(stored->verifiedBytes + stored->resolutionBytes, real);

        const uint64_t verifiedSectors = stored->verifiedBytes / 512;
        const auto rows =
            transfersAfter(here.read("event.log"), ",,,,,,,END -\n,,,,,,,CAPACITY CHECK\n");
        ASSERT_GT(rows.size(), 1000u);
        for (const auto& [sector, count] : rows) {
            ASSERT_LE(sector + count, verifiedSectors) << "sector " << sector;
        }
        // The zones the chart reads are inside the verified part too.
        auto file = openCollection(kRunResultFile);
        ASSERT_NE(file, nullptr);
        for (const char* key : {"QKCR64", "QKCW64"}) {
            ZoneResult zones[2] = {};
            uint32_t valueCapacity = 0;
            uint32_t dataCapacity = sizeof zones;
            ASSERT_TRUE(file->findEntry(key, &valueCapacity, nullptr, &dataCapacity, zones));
            EXPECT_GT(zones[1].start, zones[0].start);
            EXPECT_LT(zones[1].start, stored->verifiedBytes);
        }
    }
}

TEST(CapacityRun, AnsweringNoStopsBeforeTheBenchmarks) {
    InTempFolder here;
    MediumRun run;
    runOnCounterfeit(24 * kMiB, "drop", {true, false}, false, run);
    if (!run.medium->ready()) {
        GTEST_SKIP() << run.medium->skipReason();
    }
    EXPECT_EQ(run.outcome, RunOutcome::Failed);
    EXPECT_EQ(run.dialogs.boxes.back(),
              (DialogBox{DialogBox::Warning, "Error during test or test cancelled by user."}));
    const std::string events = here.read("event.log");
    EXPECT_NE(events.find("CAPACITY CHECK"), std::string::npos);
    EXPECT_EQ(events.find("Flash test:read"), std::string::npos);
    EXPECT_FALSE(here.has(kRunResultFile));
}

// A medium pulled during the check, or a cancel there, ends the run as a failed step
// does: its note in event.log, no question about going on inside nothing.
TEST(CapacityRun, PulledOrCancelledDuringTheCheckEndsTheRunWithItsNote) {
    const struct {
        const char* name;
        const char* faults;
        bool cancel;
        const char* note;
    } cases[] = {
        {"pulled", "vanish_after=40\n", false, ",,,,,,,TEST ERROR 3\n"},
        {"cancelled", "", true, ",,,,,,,TEST ERROR 2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InTempFolder here;
        MediumRun run;
        auto cancelWhen = [&c](const RecordingRunView& view) {
            return c.cancel && view.lastLabel(RunRow::Test) == "Checking Real Capacity";
        };
        runOnCounterfeit(24 * kMiB, "drop", {true}, true, run, c.faults, cancelWhen);
        if (!run.medium->ready()) {
            GTEST_SKIP() << run.medium->skipReason();
        }
        EXPECT_NE(run.outcome, RunOutcome::Succeeded);
        for (const DialogBox& box : run.dialogs.boxes) {
            EXPECT_EQ(box.text.find("Continue the test inside"), std::string::npos);
        }
        const bool stopBox = std::any_of(
            run.dialogs.boxes.begin(), run.dialogs.boxes.end(), [](const DialogBox& box) {
                return box.text.find("The medium stopped answering at sector ") == 0;
            });
        EXPECT_EQ(stopBox, !c.cancel);
        const std::string events = here.read("event.log");
        EXPECT_NE(events.find(std::string(c.note) + "\n,,,,,,,END -\n,,,,,,,CAPACITY CHECK\n"),
                  std::string::npos)
            << events.substr(0, 2000);
        EXPECT_EQ(events.find("Flash test:read"), std::string::npos);
    }
}

}  // namespace
}  // namespace vorn::test
