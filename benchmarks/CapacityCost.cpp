// What the capacity probe writes and reads on large media, without the media: a
// sparse stand-in keeps, for each run of sectors written, only the probe's nonce (it
// rebuilds the identity data on a read), storage ending at a chosen real size.
//
// Usage: vorn-capacity-cost [CLAIMED_GB ...]   (default: 8 64 256)
// Prints, per claimed size, the bytes written and read by the fast probe on a genuine
// medium and on one with an eighth of it real, and the largest cache it defeats.

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "base/LittleEndian.h"
#include "bench/CapacityProbe.h"
#include "storage/VornDevice.h"

namespace vorn {
namespace {

constexpr uint32_t kSector = 512;

class SparseMedium : public I_VornDevice {
public:
    SparseMedium(uint64_t claimed, uint64_t real)
        : sectors_(claimed / kSector), real_(real / kSector) {}

    bool deviceRemovable() override { return true; }
    const char* deviceId() override { return "sparse"; }
    const char* mountPointsText() override { return ""; }
    uint32_t deviceBusType() override { return 0; }
    bool mediaPresent() override { return true; }
    bool mediaWritable() override { return true; }
    uint32_t mediaBlockSize() override { return kSector; }
    uint64_t mediaSectors() override { return sectors_; }
    bool enableWrite(uint32_t, uint32_t, uint32_t) override { return true; }
    bool disableWrite() override { return true; }
    bool flush() override { return true; }
    bool saveDeviceInfo(I_VornCollection*, const char*) override { return false; }

    // Identity data only: the nonce of the run's first sector stands for all of it.
    bool write(uint64_t sector, uint32_t count, const void* source) override {
        if (count == 0) {
            return true;
        }
        const uint64_t nonce = loadLe64(static_cast<const uint8_t*>(source) + 8);
        for (uint64_t s = sector; s < sector + count && s < real_; ++s) {
            nonceOf_[s] = nonce;
        }
        return true;
    }
    bool read(uint64_t sector, uint32_t count, void* destination) override {
        auto* bytes = static_cast<uint8_t*>(destination);
        for (uint32_t i = 0; i < count; ++i) {
            const auto it = nonceOf_.find(sector + i);
            if (it == nonceOf_.end()) {
                std::fill(bytes + i * kSector, bytes + (i + 1) * kSector, 0);
            } else {
                fillProbeSector(bytes + i * kSector, kSector, it->second, sector + i);
            }
        }
        return true;
    }

private:
    uint64_t sectors_;
    uint64_t real_;
    std::map<uint64_t, uint64_t> nonceOf_;
};

class Quiet : public I_ProbeObserver {
public:
    void progress(const ProbeProgress&) override {}
    bool cancelRequested() override { return false; }
};

void measure(uint64_t claimed, uint64_t real, const char* kind) {
    SparseMedium medium(claimed, real);
    Quiet quiet;
    CapacityResult result;
    const ProbeOptions options;
    if (probeCapacity(medium, options, quiet, result) != ProbeStatus::Done) {
        std::printf("%s: the probe did not finish\n", kind);
        return;
    }
    std::printf(
        "  %-12s verified %15" PRIu64 " of %15" PRIu64 ", written %7.1f MB, read %6.1f MB\n", kind,
        result.verifiedBytes, result.claimedBytes, static_cast<double>(result.bytesWritten) / 1e6,
        static_cast<double>(result.bytesRead) / 1e6);
}

}  // namespace
}  // namespace vorn

int main(int argc, char** argv) {
    std::vector<uint64_t> sizes;
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(std::strtoull(argv[i], nullptr, 10));
    }
    if (sizes.empty()) {
        sizes = {8, 64, 256};
    }
    std::printf("cache defeated: %" PRIu64 " MiB of either kind\n",
                vorn::ProbeOptions{}.cacheDefeatBytes >> 20);
    for (uint64_t gb : sizes) {
        const uint64_t claimed = gb * 1'000'000'000;
        std::printf("%" PRIu64 " GB claimed:\n", gb);
        vorn::measure(claimed, claimed, "genuine");
        vorn::measure(claimed, claimed / 8 + 12345 * 512, "counterfeit");
    }
    return 0;
}
