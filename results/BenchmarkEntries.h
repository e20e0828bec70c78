#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vorn {

// One stored result as the data selection window lists it.
struct BenchmarkEntry {
    std::string fileName;        // as the folder listing gives it, without a folder part
    uint32_t indexInFile = 0;    // member number; 0 for a result file
    std::string name;            // device identification; empty without a device record
    std::string reader;          // "QKCREADER", at most 1023 characters
    uint32_t interfaceCode = 5;  // "QKCINT"; 5 ("Other") when absent
    uint64_t capacity = 0;       // bytes; 0 without a device record
    uint32_t maxRead = 0;        // bytes per second; 0 when none
    uint32_t maxWrite = 0;
    int32_t testTime = 0;  // "QKCTIME", seconds since 1970-01-01 00:00 UTC; 0 when absent
};

// What a list can be sorted by.
enum class SortKey { None, Name, Reader, Capacity, MaxRead, MaxWrite, TestTime, Interface };

inline constexpr int kSortLevels = 5;
using SortLevels = std::array<SortKey, kSortLevels>;

// The three sources of stored results and the file names each one lists.
inline constexpr int kSourceCount = 3;
inline constexpr const char* kSourceCaptions[kSourceCount] = {
    "QK Vorn Library", "Your Last Benchmark", "Your Saved Benchmarks"};
inline constexpr const char* kSourcePatterns[kSourceCount] = {"*.qkl", "*.qkt", "*.qkc"};

// A file name against a pattern with '*' and '?', letters compared without case.
bool matchesPattern(const std::string& name, const std::string& pattern);

// Names of the files (never folders) in `folder` that match the pattern, in byte
// order so a listing does not depend on the file system.
std::vector<std::string> findFiles(const std::string& folder, const std::string& pattern);

// Every result of every matching file in `folder`: a library gives one entry per
// member. Files that open as no collection and members that cannot be selected are
// left out without a word.
std::vector<BenchmarkEntry> loadEntries(const std::string& folder, const std::string& pattern);

// Negative, zero or positive as a comes before, with or after b on the given levels
// (levels of SortKey::None count as equal).
int compareEntries(const BenchmarkEntry& a, const BenchmarkEntry& b, const SortLevels& levels);

// Display order: order[r] is the entry shown in row r.
std::vector<uint32_t> sortEntries(const std::vector<BenchmarkEntry>& entries,
                                  const SortLevels& levels);

// The seven cells of a row, in column order.
inline constexpr int kColumnCount = 7;
inline constexpr const char* kColumnCaptions[kColumnCount] = {
    "Manufacturer/Model", "Reader",   "Interface",     "Capacity",
    "Max Write",          "Max Read", "Test Date/Time"};
using RowCells = std::array<std::string, kColumnCount>;

std::string interfaceText(uint32_t interfaceCode);
std::string capacityText(uint64_t capacity);
std::string rateText(uint32_t bytesPerSecond);
std::string testTimeText(int32_t testTime);
RowCells rowCells(const BenchmarkEntry& entry);

// The stored details of an entry's result: processor, controller, system data and
// notes, lines ending in '\n'. Empty when the file or the member does not open.
std::string entryInfoText(const std::string& folder, const BenchmarkEntry& entry);

// Path of an entry's file: the folder joined with its name.
std::string entryPath(const std::string& folder, const std::string& fileName);

}  // namespace vorn
