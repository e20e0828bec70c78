#include "maker/ResultScan.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>

#include "results/BenchmarkEntries.h"
#include "results/CollectionFile.h"
#include "results/Collections.h"
#include "results/LinkEntry.h"
#include "results/MemberSnapshot.h"
#include "results/RatingsText.h"
#include "results/RunRecord.h"
#include "storage/DriveCatalog.h"
#include "storage/DriveLinkText.h"
#include "storage/StoredDrive.h"

namespace vorn {

namespace {

constexpr size_t kMaxContentName = 64;

// The result's bytes up to the end its header states, checked as a library member is.
bool readCheckedBytes(const std::string& path, std::string* bytes, std::string* why) {
    uint64_t end = 0;
    FileHandle file = openCompleteResult(path.c_str(), &end, why);
    if (!file) {
        return false;
    }
    bytes->resize(end);
    if (!readAt(file.get(), 0, bytes->data(), bytes->size())) {
        *why = "cannot be read";
        return false;
    }
    return true;
}

// The link and card identity tell the medium best; an older result without them
// has its device record's bus or, last, the interface its sender chose.
MediumKind kindOf(const std::optional<DriveLink>& link, const RunRecord& run) {
    if (link && (link->card || link->behindReader)) {
        return MediumKind::SdCard;
    }
    if (link && link->usb) {
        return MediumKind::Usb;
    }
    if (run.device) {
        const uint32_t bus = run.device->deviceBusType();
        if (bus == kBusUsb11 || bus == kBusUsb20) {
            return MediumKind::Usb;
        }
    }
    // The sender's choices 0 and 1 are "USB 1.1" and "USB 2.0".
    const std::optional<uint32_t> chosen = run.details.busIndex;
    return chosen && *chosen <= 1 ? MediumKind::Usb : MediumKind::Other;
}

void addTestDate(const ChartDevice& chart, PublishedResult* result) {
    if (!chart.hasTestTime || chart.testTime < 0) {
        return;
    }
    const std::time_t time = static_cast<std::time_t>(chart.testTime);
    std::tm utc{};
    if (gmtime_r(&time, &utc) == nullptr) {
        return;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday);
    result->year = utc.tm_year + 1900;
    result->testDate = text;
}

void describe(I_VornCollection& member, PublishedResult* result) {
    I_VornCollection* const members[] = {&member};
    result->chart = buildChartModel(members);
    const RunRecord run = readRunRecord(member);
    const std::optional<DriveLink> link = readLinkEntry(member);
    if (run.device) {
        const char* bus = busTypeName(run.device->deviceBusType());
        result->bus = bus != nullptr ? bus : "";
        result->capacity = uint64_t{run.device->mediaBlockSize()} * run.device->mediaSectors();
    }
    result->link = link ? driveLinkText(*link) : std::string();
    result->kind = kindOf(link, run);
    const ChartDevice& device = result->device();
    result->ratings = device.ratings ? metRatingsText(*device.ratings) : "";
    addTestDate(device, result);
}

}  // namespace

const char* mediumKindName(MediumKind kind) {
    switch (kind) {
        case MediumKind::Usb:
            return "USB";
        case MediumKind::SdCard:
            return "SD";
        case MediumKind::Other:
            break;
    }
    return "OTHER";
}

const char* mediumKindText(MediumKind kind) {
    switch (kind) {
        case MediumKind::Usb:
            return "USB";
        case MediumKind::SdCard:
            return "SD card";
        case MediumKind::Other:
            break;
    }
    return "Other";
}

bool isContentName(const std::string& stem) {
    if (stem.empty() || stem.size() > kMaxContentName) {
        return false;
    }
    return std::all_of(stem.begin(), stem.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

std::optional<PublishedResult> readPublishedResult(const std::string& path, const std::string& name,
                                                   std::string* why) {
    PublishedResult result;
    result.name = name;
    if (!readCheckedBytes(path, &result.bytes, why)) {
        return std::nullopt;
    }
    std::unique_ptr<I_VornCollection> file = openCollection(path.c_str());
    if (!file || file->getMemberCount() != 1) {
        *why = "does not open as a result file";
        return std::nullopt;
    }
    // Every lookup then reads memory, not the file: dozens of them per result.
    MemberSnapshot snapshot;
    if (snapshot.take(*file)) {
        describe(snapshot, &result);
    } else {
        describe(*file, &result);
    }
    return result;
}

bool scanResults(const std::string& folder, ResultScan* scan, std::string* why) {
    std::error_code error;
    std::filesystem::directory_iterator listing(folder, error);
    if (error) {
        *why = "cannot list " + folder + ": " + error.message();
        return false;
    }
    std::vector<std::string> names;
    for (; listing != std::filesystem::directory_iterator(); listing.increment(error)) {
        if (const std::string name = listing->path().filename().string();
            matchesPattern(name, "*.qkc")) {
            names.push_back(name);
        }
    }
    if (error) {
        *why = "cannot list " + folder + ": " + error.message();
        return false;
    }
    std::sort(names.begin(), names.end());
    std::set<std::string> stems;
    for (const std::string& name : names) {
        const std::string stem = name.substr(0, name.size() - 4);
        std::string problem;
        std::optional<PublishedResult> result;
        if (!isContentName(stem)) {
            problem = "its name is not a content name (letters, digits, '-', '_')";
        } else if (!stems.insert(stem).second) {
            problem = "another file has the same content name";
        } else {
            result = readPublishedResult(folder + "/" + name, stem, &problem);
        }
        if (result) {
            scan->results.push_back(std::move(*result));
        } else {
            scan->skipped.push_back(name + ": " + problem);
        }
    }
    return true;
}

}  // namespace vorn
