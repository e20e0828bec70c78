// libFuzzer target over everything that reads a result or library file: open as a
// result and as a library, select every member, walk and read every entry, look up
// the keys the viewers use, build the chart model and the selection listing.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "results/BenchmarkEntries.h"
#include "results/Collections.h"
#include "view/ChartModel.h"

namespace {

constexpr uint32_t kMaxMembers = 64;
constexpr uint32_t kMaxEntries = 512;
const char* const kKeys[] = {"VERSION",    "DRIVEID",    "QKCR2",   "QKCR64",       "QKCW4",
                             "QKCRACCESS", "QKCSACCESS", "QKCTIME", "2KDEVINFO-sdd"};

std::string& folder() {
    static std::string path = [] {
        char pattern[] = "/tmp/vorn-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made == nullptr) {
            std::abort();
        }
        return std::string(made);
    }();
    return path;
}

bool writeFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

void readMember(vorn::I_VornCollection& file) {
    char name[vorn::kEntryNameBuffer];
    std::vector<char> value(300);
    std::vector<uint8_t> bytes(4096);
    uint32_t count = 0;
    for (bool more = file.firstEntry(name); more && count < kMaxEntries;
         more = file.nextEntry(name), ++count) {
        uint32_t valueCapacity = static_cast<uint32_t>(value.size());
        uint32_t dataCapacity = static_cast<uint32_t>(bytes.size());
        (void)file.readCurrentEntry(&valueCapacity, value.data(), &dataCapacity, bytes.data());
    }
    for (const char* key : kKeys) {
        uint32_t valueCapacity = static_cast<uint32_t>(value.size());
        uint32_t dataCapacity = static_cast<uint32_t>(bytes.size());
        (void)file.findEntry(key, &valueCapacity, value.data(), &dataCapacity, bytes.data());
    }
    vorn::I_VornCollection* one[] = {&file};
    const vorn::ChartModel model = vorn::buildChartModel(one);
    (void)vorn::summaryText(vorn::summaryLines(model));
}

void readCollection(const std::string& path) {
    auto file = vorn::openCollection(path.c_str());
    if (!file) {
        return;
    }
    const uint32_t members = file->getMemberCount();
    for (uint32_t i = 0; i < members && i < kMaxMembers; ++i) {
        if (file->selectMember(i)) {
            readMember(*file);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string result = folder() + "/fuzz.qkt";
    const std::string library = folder() + "/fuzz.qkl";
    if (!writeFile(result, data, size) || !writeFile(library, data, size)) {
        std::abort();
    }
    readCollection(result);
    readCollection(library);
    for (const char* pattern : {"*.qkt", "*.qkl"}) {
        for (const vorn::BenchmarkEntry& entry : vorn::loadEntries(folder(), pattern)) {
            (void)vorn::rowCells(entry);
        }
    }
    return 0;
}
