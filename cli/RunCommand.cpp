// run: the whole test run as the Run Test button does it, with the questions asked on
// the terminal, the steps and a progress bar on stderr, then the chart summary.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/DriveListing.h"
#include "app/RunJob.h"
#include "app/RunView.h"
#include "base/Dialogs.h"
#include "base/FileNames.h"
#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/SignalCancel.h"
#include "cli/TerminalDialogs.h"
#include "results/Collections.h"
#include "results/WriteCurve.h"
#include "storage/DriveList.h"
#include "storage/EventLog.h"
#include "storage/LinuxDrive.h"
#include "view/ChartModel.h"

namespace vorn::cli {
namespace {

constexpr const char* kCommand = "run";
constexpr uint64_t kDemoBytes = 256ull * 1024 * 1024;
constexpr int kLastDrive = kLastListedDrive;

// One line per finished step, and a progress bar while a step runs.
class TerminalRunView : public I_RunView {
public:
    // A signal received before the run started still cancels it.
    void clearCancel() override {}
    bool cancelRequested() override { return cli::cancelRequested(); }
    void setRowState(RunRow row, RowState state) override {
        if (state == RowState::Passed || state == RowState::Failed) {
            bar_.reset();
            std::fprintf(stderr, "%-28s %s\n", labels_[index(row)].c_str(),
                         state == RowState::Passed ? "passed" : "FAILED");
        } else if (state == RowState::Running) {
            running_ = row;
        }
    }
    void setRowLabel(RunRow row, const std::string& text) override { labels_[index(row)] = text; }
    void setRowActive(RunRow, bool) override {}
    void setWriteRow(bool, bool) override {}
    void setButtonCaption(const std::string&) override {}
    void setProgressVisible(bool visible) override {
        if (visible) {
            bar_ = std::make_unique<ProgressBar>(labels_[index(running_)]);
        } else {
            bar_.reset();
        }
    }
    void setProgress(uint32_t percent) override {
        if (bar_) {
            bar_->update(percent);
        }
    }
    void showView(bool) override {}
    // Wakes at a signal, so the running step is told at once.
    void sleepMs(uint32_t milliseconds) override { sleepUnlessCancelled(milliseconds); }

private:
    static size_t index(RunRow row) { return static_cast<size_t>(row); }
    std::string labels_[4];
    RunRow running_ = RunRow::Test;
    std::unique_ptr<ProgressBar> bar_;
};

void printBars(const char* title, const std::vector<ChartBar>& bars) {
    std::printf("%s\n", title);
    for (const ChartBar& bar : bars) {
        std::printf("  %-4s %10.2f MB/s\n", bar.label.c_str(), double{bar.mbps});
    }
}

// Instead of the chart window: the chart's bars and summary of the run's result.
void printResults(const RunResult& result, bool writeTest) {
    const std::unique_ptr<I_VornCollection> stored = copyOfStored(result);
    I_VornCollection* const held[] = {stored.get()};
    const ChartModel model = buildChartModel(held);
    for (const ChartDevice& device : model.devices) {
        printBars("Read Speed (higher is better)", device.readBars);
        if (writeTest) {
            printBars("Write Speed (higher is better)", device.writeBars);
        }
    }
    std::printf("\n%s\n", summaryText(summaryLines(model)).c_str());
}

// The write cache as the wipe showed it, unless the result stores it and the summary
// has said so already.
void printWriteCurve(const RunResult& result) {
    const std::unique_ptr<I_VornCollection> stored = copyOfStored(result);
    if (!result.writeCurveLine.empty() && !(stored && readWriteCurve(*stored))) {
        std::printf("%s\n", result.writeCurveLine.c_str());
    }
}

// A sparse image file of the demo's size, made afresh each time.
bool makeDemoImage() {
    std::error_code error;
    { std::ofstream create(kDemoImage, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(kDemoImage, kDemoBytes, error);
    return !error;
}

// The device list for a device given by path: that device alone, opened the same way
// every time, so the press still checks that it is the listed one.
bool listByPath(const std::string& path, RunJobRequest& request) {
    auto disk = newLinuxDriveForPath(path, nullptr, kListingBufferBytes);
    if (!disk) {
        return false;
    }
    request.entries = {{listEntryText(*disk), 0}};
    request.selected = 0;
    request.opener = [path](int, I_VornEventLog* log, uint32_t size) {
        return std::unique_ptr<I_VornDevice>(newLinuxDriveForPath(path, log, size));
    };
    return true;
}

// The device list as the main window fills it, with the drive selected.
bool listByNumber(int drive, RunJobRequest& request) {
    request.entries = listIntoLog(systemCatalog(), kRefreshLog).entries;
    for (size_t i = 0; i < request.entries.size(); ++i) {
        if (request.entries[i].driveNumber == drive) {
            request.selected = static_cast<int>(i);
        }
    }
    return request.selected >= 0;
}

int outcomeCode(RunOutcome outcome) {
    // However far it got, a cancelled run is no success.
    if (cancelRequested()) {
        return cancelledExit(kCommand);
    }
    switch (outcome) {
        case RunOutcome::Succeeded:
            return 0;
        case RunOutcome::Stopped:
            return failWith(kCommand, "stopped before the test");
        case RunOutcome::Failed:
            return failWith(kCommand, "the test failed or was cancelled");
        case RunOutcome::Exception:
            return failWith(kCommand, "program error during the test (see vorntest.log)");
        case RunOutcome::NoSelection:
            break;
    }
    return failWith(kCommand, "no device selected");
}

}  // namespace

int runRun(int argc, char** argv) {
    // From the start: a signal while the drives are listed cancels the run too.
    const CancelOnSignals cancelOnSignals;
    CommandLine line(kCommand, "The whole test run, as the Run Test button does it.");
    bool demo = false, write = false, yes = false, capacity = false, extended = false;
    uint64_t drive = 0;
    std::string path;
    line.number("--drive", &drive, kLastDrive, "the drive's number, as list shows it");
    line.text("--device", &path, "a block device or image file", "PATH");
    line.flag("--demo", &demo, "run on a fresh image file, demo.img");
    line.flag("--write", &write, "the write test too (overwrites the medium)");
    line.flag("--capacity", &capacity, "the capacity check too (needs --write)");
    line.flag("--extended", &extended,
              "the extended tests too: 1 MiB at queue depth 1 and 8, 4 KiB random at 1 and 32");
    line.flag("--yes", &yes, "answer yes to every question");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    const bool byNumber = line.given("--drive");
    if (int{demo} + int{byNumber} + int{line.given("--device")} != 1) {
        return line.usageError("give one of --drive N, --device PATH or --demo");
    }
    // The check writes the medium: it needs the write test's consent.
    if (capacity && !write && !demo) {
        return line.usageError("--capacity needs --write");
    }
    if (demo) {
        if (!makeDemoImage()) {
            return failWith(kCommand, std::string("cannot make ") + kDemoImage);
        }
        path = kDemoImage;
        write = true;
        yes = true;
    }
    RunJobRequest request;
    request.writeTest = write;
    request.capacityCheck = capacity;
    request.extended = extended;
    if (byNumber ? !listByNumber(static_cast<int>(drive), request) : !listByPath(path, request)) {
        return failWith(kCommand, byNumber ? "drive " + std::to_string(drive) + " does not open"
                                           : "'" + path + "' does not open");
    }
    TerminalRunView view;
    TerminalQuestions dialogs(yes);
    const RunResult result = runTestJob(request, view, dialogs);
    if (result.outcome == RunOutcome::Succeeded && result.stored) {
        printResults(result, request.writeTest);
    }
    printWriteCurve(result);
    const int code = outcomeCode(result.outcome);
    if (code == 0 && !result.eventLogSaved) {
        return failWith(kCommand, "event.log could not be written");
    }
    return code;
}

}  // namespace vorn::cli
