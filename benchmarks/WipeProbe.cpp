// Times the run's full wipe on a block device or image file named on the command line,
// so the wipe can be set beside dd on targets the test run refuses (a loop device is
// not removable). The same drive class, transfer buffer and wipe as a run; nothing of
// the run's checks. Prints "BYTES SECONDS". Writes zeros over the whole target.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "app/RunView.h"
#include "app/Wipe.h"
#include "bench/MemoryEventLog.h"
#include "storage/LinuxDrive.h"

namespace {

// Nobody watches: no progress, never cancelled.
class QuietView : public vorn::I_RunView {
public:
    void clearCancel() override {}
    bool cancelRequested() override { return false; }
    void setRowState(vorn::RunRow, vorn::RowState) override {}
    void setRowLabel(vorn::RunRow, const std::string&) override {}
    void setRowActive(vorn::RunRow, bool) override {}
    void setWriteRow(bool, bool) override {}
    void setButtonCaption(const std::string&) override {}
    void setProgressVisible(bool) override {}
    void setProgress(uint32_t) override {}
    void showView(bool) override {}
    void sleepMs(uint32_t) override {}
};

constexpr uint32_t kRunBufferBytes = 524288;
constexpr uint32_t kRunEventRows = vorn::kEventLogRoom;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vorn-wipe-probe DEVICE-OR-IMAGE\n");
        return 2;
    }
    std::unique_ptr<vorn::I_VornEventLog> log = vorn::newEventLog(kRunEventRows);
    std::unique_ptr<vorn::LinuxDrive> drive =
        vorn::newLinuxDriveForPath(argv[1], log.get(), kRunBufferBytes);
    if (!drive || !drive->enableWrite(1, drive->mediaBlockSize(), 0)) {
        std::fprintf(stderr, "vorn-wipe-probe: cannot open %s for writing\n", argv[1]);
        return 1;
    }
    QuietView view;
    const auto start = std::chrono::steady_clock::now();
    const bool wiped = vorn::wipeDevice(*drive, 0, view, log.get());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    drive->disableWrite();
    if (!wiped) {
        std::fprintf(stderr, "vorn-wipe-probe: the wipe failed\n");
        return 1;
    }
    // The wipe writes 115 % of the medium, wrapping back to the start.
    const uint64_t sectors =
        static_cast<uint64_t>(static_cast<double>(drive->mediaSectors()) * 1.15);
    const uint64_t bytes = sectors * drive->mediaBlockSize();
    std::printf("%" PRIu64 " %.6f\n", bytes, took.count());
    return 0;
}
