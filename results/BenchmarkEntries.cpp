#include "results/BenchmarkEntries.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>

#include "base/LittleEndian.h"
#include "base/TextFormat.h"
#include "results/Collections.h"
#include "results/ExtendedText.h"
#include "results/MemberSnapshot.h"
#include "results/RatingsText.h"
#include "results/RunRecord.h"
#include "results/RunSteps.h"
#include "storage/StoredDrive.h"

namespace vorn {

namespace {

constexpr uint32_t kReaderBuffer = 1024;
constexpr uint32_t kInfoLineBuffer = 1024;
// The system information text may hold many lines.
constexpr uint32_t kSystemTextBuffer = 200000;

char lowered(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

BenchmarkEntry readEntry(I_VornCollection& result, const std::string& fileName, uint32_t member) {
    BenchmarkEntry entry;
    entry.fileName = fileName;
    entry.indexInFile = member;
    const RunRecord run = readRunRecord(result);
    entry.testTime = run.testTime.value_or(0);
    entry.reader = cutText(textOf(run.details.reader), kReaderBuffer);
    if (run.details.busIndex) {
        entry.interfaceCode = *run.details.busIndex;
    }
    if (run.device) {
        entry.name = run.device->deviceId();
        entry.capacity = uint64_t{run.device->mediaBlockSize()} * run.device->mediaSectors();
    }
    entry.maxRead = bestRate(run.reads, GapRule::PassOverEmptyTest);
    entry.maxWrite = bestRate(run.writes, GapRule::PassOverEmptyTest);
    return entry;
}

template <typename T>
int threeWay(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareLevel(const BenchmarkEntry& a, const BenchmarkEntry& b, SortKey key) {
    switch (key) {
        case SortKey::Name:
            // std::string compares bytes as unsigned values, as memcmp does.
            return a.name.compare(b.name);
        case SortKey::Reader:
            return a.reader.compare(b.reader);
        case SortKey::Capacity:
            return threeWay(a.capacity, b.capacity);
        case SortKey::MaxRead:
            return threeWay(a.maxRead, b.maxRead);
        case SortKey::MaxWrite:
            return threeWay(a.maxWrite, b.maxWrite);
        case SortKey::TestTime:
            return threeWay(a.testTime, b.testTime);
        case SortKey::Interface:
            return threeWay(a.interfaceCode, b.interfaceCode);
        case SortKey::None:
            break;
    }
    return 0;
}

// A memo line per line of the text; Windows line ends become plain ones.
void addLines(std::string* out, const std::string& text) {
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
            continue;
        }
        *out += text[at];
    }
    if (text.empty() || out->back() != '\n') {
        *out += '\n';
    }
}

// A heading, then the entry's text: an empty line when the entry is absent, nothing
// when it holds no value text, then one empty line.
void addSection(std::string* out, const char* heading, const std::optional<StoredText>& entry) {
    *out += heading;
    *out += '\n';
    if (!entry) {
        *out += '\n';
    } else if (entry->hasValue) {
        addLines(out, cutText(entry->text, kSystemTextBuffer));
    }
    *out += '\n';
}

// Lines under a heading of their own, then an empty line; nothing without lines.
void addLineSection(std::string* out, const char* heading, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    *out += heading;
    for (const std::string& line : lines) {
        *out += line + '\n';
    }
    *out += '\n';
}

// The extended figures, a line each, and the rating verdicts taken from them; nothing
// for a run without them.
void addExtendedSection(std::string* out, I_VornCollection& result) {
    const ExtendedFigures figures = readExtendedFigures(result);
    addLineSection(out, "EXTENDED TESTS-\n", extendedLines(figures));
    if (const std::optional<RatingTable> table = ratingsOf(figures, runDriveLink(result))) {
        addLineSection(out, "RATINGS-\n", ratingLines(*table));
    }
}

}  // namespace

bool matchesPattern(const std::string& name, const std::string& pattern) {
    // Greedy match with one backtrack point: the last '*' seen.
    size_t n = 0;
    size_t p = 0;
    size_t starAt = std::string::npos;
    size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || lowered(pattern[p]) == lowered(name[n]))) {
            ++p;
            ++n;
        } else if (starAt != std::string::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::vector<std::string> findFiles(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator listing(folder, error);
    for (; !error && listing != std::filesystem::directory_iterator(); listing.increment(error)) {
        std::string name = listing->path().filename().string();
        std::error_code typeError;
        if (matchesPattern(name, pattern) && !listing->is_directory(typeError)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string entryPath(const std::string& folder, const std::string& fileName) {
    if (folder.empty() || folder == ".") {
        return fileName;
    }
    return (std::filesystem::path(folder) / fileName).string();
}

std::vector<BenchmarkEntry> loadEntries(const std::string& folder, const std::string& pattern) {
    // First pass: how many results there are, so the second stops there even when a
    // file grows meanwhile.
    uint64_t total = 0;
    for (const std::string& name : findFiles(folder, pattern)) {
        if (auto file = openCollection(entryPath(folder, name).c_str())) {
            total += file->getMemberCount();
        }
    }
    std::vector<BenchmarkEntry> entries;
    entries.reserve(static_cast<size_t>(std::min<uint64_t>(total, 1u << 20)));
    for (const std::string& name : findFiles(folder, pattern)) {
        auto file = openCollection(entryPath(folder, name).c_str());
        if (!file) {
            continue;
        }
        const uint32_t members = file->getMemberCount();
        MemberSnapshot snapshot;
        for (uint32_t member = 0; member < members && entries.size() < total; ++member) {
            if (file->selectMember(member)) {
                // Some forty lookups per result: each entry is read from the file once.
                I_VornCollection& result = snapshot.take(*file) ? snapshot : *file;
                entries.push_back(readEntry(result, name, member));
            }
        }
        if (entries.size() >= total) {
            break;
        }
    }
    return entries;
}

int compareEntries(const BenchmarkEntry& a, const BenchmarkEntry& b, const SortLevels& levels) {
    for (SortKey key : levels) {
        if (const int result = compareLevel(a, b, key); result != 0) {
            return result;
        }
    }
    return 0;
}

std::vector<uint32_t> sortEntries(const std::vector<BenchmarkEntry>& entries,
                                  const SortLevels& levels) {
    std::vector<uint32_t> order(entries.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    // Stable, so rows equal on every level keep the order the files were read in.
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return compareEntries(entries[a], entries[b], levels) < 0;
    });
    return order;
}

std::string interfaceText(uint32_t interfaceCode) {
    static constexpr const char* kNames[] = {"USB 1.1", "USB 2.0", "Laptop slot",
                                             "1394",    "ATA/IDE", "Other"};
    return interfaceCode < std::size(kNames) ? kNames[interfaceCode] : "";
}

std::string capacityText(uint64_t capacity) {
    const double bytes = static_cast<double>(capacity);
    if (bytes > 1e9) {
        return formatted("%1.1fGB", bytes * 1e-9);
    }
    if (bytes > 1) {
        return formatted("%1.1fMB", bytes * 1e-6);
    }
    return "no media";
}

std::string rateText(uint32_t bytesPerSecond) {
    return bytesPerSecond != 0 ? formatted("%1.1f MB/s", bytesPerSecond * 1e-6) : std::string();
}

std::string testTimeText(int32_t testTime) {
    // A result without a test time holds 0: it was not tested on 1 January 1970.
    if (testTime <= 0) {
        return "unknown";
    }
    const std::time_t time = testTime;
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return "unknown";
    }
    return formatted("%04d-%02d-%02d %02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                     local.tm_mday, local.tm_hour, local.tm_min);
}

RowCells rowCells(const BenchmarkEntry& entry) {
    return {entry.name,
            entry.reader,
            interfaceText(entry.interfaceCode),
            capacityText(entry.capacity),
            rateText(entry.maxWrite),
            rateText(entry.maxRead),
            testTimeText(entry.testTime)};
}

std::string entryInfoText(const std::string& folder, const BenchmarkEntry& entry) {
    auto result = openCollection(entryPath(folder, entry.fileName).c_str());
    if (!result || !result->selectMember(entry.indexInFile)) {
        return {};
    }
    const StoredDetails details = readDetails(*result);
    std::string text;
    if (const std::string line = cutText(textOf(details.processor), kInfoLineBuffer);
        !line.empty()) {
        text += "PROCESSOR: " + line + "\n";
    }
    if (const std::string line = cutText(textOf(details.control), kInfoLineBuffer); !line.empty()) {
        text += "CONTROLLER: " + line + "\n";
    }
    addSection(&text, "SYSTEM DATA-", details.system);
    addSection(&text, "TEST NOTES-", details.notes);
    addExtendedSection(&text, *result);
    return text;
}

}  // namespace vorn
