#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/DiskRwBenchmark.h"
#include "results/BenchmarkEntries.h"
#include "results/Collections.h"
#include "results/LibraryWriter.h"
#include "results/RunSteps.h"
#include "results/VornFileCRC.h"
#include "storage/DeviceInfoData.h"
#include "support/TempDir.h"

namespace {

constexpr uint32_t kMembers = 10000;

// A result laid out as a write test run stores it: the rate tests first, the device
// record last, so every lookup of the record walks the whole member.
bool writeRunResult(const std::string& path) {
    auto file = vorn::createCollection(path.c_str());
    if (!file) {
        return false;
    }
    bool ok = file->addEntry("VERSION", "1.0.0.1", 0, nullptr) &&
              file->addEntry("DRIVEID", "qkvorn-sample-image-64MiB.img ", 0, nullptr);
    const vorn::ZoneResult zones[2] = {{0, 30000000, 20000000, 25000000, 24000000, 1000, 0},
                                       {1 << 26, 31000000, 21000000, 26000000, 25000000, 1000, 0}};
    for (const auto* table : {&vorn::readTests, &vorn::writeTests}) {
        for (const vorn::RunStep& test : *table) {
            ok = ok && file->addEntry(test.resultKey, "0,1,64,65536,2097152,8388608,2",
                                      sizeof zones, zones);
        }
    }
    const char access[32] = {};
    const unsigned char time[4] = {0x12, 0x34, 0x56, 0x68};
    const std::string descriptor(70, '\0');
    const char adapter[32] = {};
    vorn::DeviceInfoData info{};
    info.mediaBlockSize = 512;
    info.mediaSectors = 131072;
    ok = ok && file->addEntry("QKCRACCESS", "512", sizeof access, access) &&
         file->addEntry("QKCSACCESS", "512", sizeof access, access) &&
         file->addEntry("QKCTIME", nullptr, sizeof time, time) &&
         file->addEntry("2KDEVINFO-sdd", nullptr, 70, descriptor.data()) &&
         file->addEntry("2KDEVINFO-add", nullptr, sizeof adapter, adapter) &&
         file->addEntry("2KDEVINFO-hid", "PhysicalDevice 0", 0, nullptr) &&
         file->addEntry("2KDEVINFO-dpath", "qkvorn-sample-image-64MiB.img", 0, nullptr) &&
         file->addEntry("2KDEVINFO-data", nullptr, sizeof info, &info);
    return ok;
}

// What the selection window does before it fills its list: read every member of the
// library, sort on two levels and make every row's cells.
void BM_SelectionListing(benchmark::State& state) {
    vorn::test::TempDir folder;
    const std::string member = folder.file("member.qkc");
    std::vector<std::string> problems;
    if (!writeRunResult(member) ||
        !vorn::writeLibrary(folder.file("big.qkl"),
                            std::vector<std::string>(static_cast<size_t>(state.range(0)), member),
                            &problems)) {
        state.SkipWithError("no library");
        return;
    }
    vorn::SortLevels levels{};
    levels.fill(vorn::SortKey::None);
    levels[0] = vorn::SortKey::Name;
    levels[1] = vorn::SortKey::MaxRead;
    size_t rows = 0;
    for (auto _ : state) {
        const std::vector<vorn::BenchmarkEntry> entries = vorn::loadEntries(folder.path(), "*.qkl");
        const std::vector<uint32_t> order = vorn::sortEntries(entries, levels);
        for (uint32_t index : order) {
            benchmark::DoNotOptimize(vorn::rowCells(entries[index]));
        }
        rows = entries.size();
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_SelectionListing)->Arg(kMembers)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor the listing is measured against: the same library read once from the file
// with the CRC of all its bytes, nothing decoded. Run beside the listing, the ratio of
// the two medians is the listing's cost in plain reads (target: at most 5).
void BM_PlainLibraryRead(benchmark::State& state) {
    vorn::test::TempDir folder;
    const std::string member = folder.file("member.qkc");
    std::vector<std::string> problems;
    const std::string library = folder.file("big.qkl");
    if (!writeRunResult(member) ||
        !vorn::writeLibrary(library,
                            std::vector<std::string>(static_cast<size_t>(state.range(0)), member),
                            &problems)) {
        state.SkipWithError("no library");
        return;
    }
    vorn::VornFileCRC crc;
    for (auto _ : state) {
        FILE* file = std::fopen(library.c_str(), "rb");
        if (file == nullptr) {
            state.SkipWithError("library does not open");
            return;
        }
        std::vector<char> bytes(static_cast<size_t>(std::filesystem::file_size(library)));
        const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        benchmark::DoNotOptimize(crc.crcOfBuffer(bytes.data(), static_cast<uint32_t>(got)));
    }
}
BENCHMARK(BM_PlainLibraryRead)->Arg(kMembers)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
