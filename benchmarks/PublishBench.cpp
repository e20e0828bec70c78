// publish of 5,000 results: a first publish into an empty site, and a second one with
// nothing new, which must only read and compare.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/DiskRwBenchmark.h"
#include "maker/Publish.h"
#include "results/Collections.h"
#include "results/LinkEntry.h"
#include "results/RunSteps.h"
#include "storage/DeviceInfoData.h"
#include "support/TempDir.h"

namespace {

constexpr int kResults = 5000;

vorn::DriveLink linkOf(int i) {
    vorn::DriveLink link;
    if (i % 3 == 0) {
        link.usb =
            vorn::UsbLink{480000, "2.00", "usb-storage", 0x0781, 0x5567, "Maker", "Stick", "1"};
    } else if (i % 3 == 1) {
        link.card = vorn::CardIdentity{};
        link.card->type = "SD";
        link.card->name = "SN64G";
    }
    return link;
}

// A whole write-test result as a run stores it, each one different (its rates, name,
// year and kind of medium), so every one gets its own page and data.
bool writeResult(const std::string& path, int i) {
    auto file = vorn::createCollection(path.c_str());
    if (!file) {
        return false;
    }
    const std::string id = "Bench drive " + std::to_string(i);
    bool ok = file->addEntry("VERSION", "1.0.0.1", 0, nullptr) &&
              file->addEntry("DRIVEID", id.c_str(), 0, nullptr);
    const uint32_t rate = 10000000 + static_cast<uint32_t>(i) * 1000;
    const vorn::ZoneResult zones[2] = {{0, rate, rate / 2, rate, rate, 1000, 0},
                                       {1 << 26, rate, rate / 2, rate, rate, 1000, 0}};
    for (const auto* table : {&vorn::readTests, &vorn::writeTests}) {
        for (const vorn::RunStep& test : *table) {
            ok = ok &&
                 file->addEntry(test.resultKey, "0,1,2,65536,0,8388608,2", sizeof zones, zones);
        }
    }
    const uint32_t time = 1200000000u + static_cast<uint32_t>(i % 10) * 31536000u;
    const unsigned char timeBytes[4] = {
        static_cast<unsigned char>(time), static_cast<unsigned char>(time >> 8),
        static_cast<unsigned char>(time >> 16), static_cast<unsigned char>(time >> 24)};
    const std::string descriptor(48, '\0');
    const char adapter[32] = {};
    vorn::DeviceInfoData info{};
    info.mediaBlockSize = 512;
    info.mediaSectors = 131072;
    return ok && file->addEntry("QKCTIME", nullptr, sizeof timeBytes, timeBytes) &&
           file->addEntry("2KDEVINFO-sdd", nullptr, 48, descriptor.data()) &&
           file->addEntry("2KDEVINFO-add", nullptr, sizeof adapter, adapter) &&
           file->addEntry("2KDEVINFO-hid", "PhysicalDevice 0", 0, nullptr) &&
           file->addEntry("2KDEVINFO-dpath", "/dev/sdx", 0, nullptr) &&
           file->addEntry("2KDEVINFO-data", nullptr, sizeof info, &info) &&
           vorn::addLinkEntry(*file, linkOf(i));
}

// The results, written once for every benchmark of this file; null when they could
// not be written.
const vorn::test::TempDir* resultsFolder() {
    static const vorn::test::TempDir folder;
    static const bool written = [] {
        for (int i = 0; i < kResults; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "%08x.qkc", static_cast<unsigned>(i) * 2654435761u);
            if (!writeResult(folder.file(name), i)) {
                return false;
            }
        }
        return true;
    }();
    return written ? &folder : nullptr;
}

bool publishInto(const std::string& site, benchmark::State& state) {
    if (resultsFolder() == nullptr) {
        state.SkipWithError("the results could not be written");
        return false;
    }
    vorn::PublishRequest request{resultsFolder()->path().string(), site, "1.0.0.1"};
    vorn::PublishReport report;
    if (!vorn::publishSite(request, &report) || report.results != kResults) {
        state.SkipWithError(("publish failed: " + report.failure).c_str());
        return false;
    }
    state.counters["written"] = static_cast<double>(report.files.written);
    state.counters["unchanged"] = static_cast<double>(report.files.unchanged);
    return true;
}

void BM_PublishFirst(benchmark::State& state) {
    resultsFolder();  // written before the clock runs
    vorn::test::TempDir site;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(site.path() / "site");
        state.ResumeTiming();
        if (!publishInto((site.path() / "site").string(), state)) {
            break;
        }
    }
}
BENCHMARK(BM_PublishFirst)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_PublishUnchanged(benchmark::State& state) {
    vorn::test::TempDir site;
    const std::string path = (site.path() / "site").string();
    if (!publishInto(path, state)) {
        return;
    }
    for (auto _ : state) {
        if (!publishInto(path, state)) {
            break;
        }
    }
}
BENCHMARK(BM_PublishUnchanged)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
