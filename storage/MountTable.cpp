#include "storage/MountTable.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string_view>

#include "base/DiagLog.h"
#include "storage/DriveCatalog.h"

namespace vorn {

namespace {

// /proc files are generated text: a line or a file far beyond these sizes is not a
// mount table we can trust, and must not make us allocate without bound.
constexpr size_t kMaxFileBytes = 16u << 20;
constexpr size_t kMaxLineBytes = 64u << 10;

// The mount-points text stops growing once it holds this many characters ...
constexpr size_t kMountPointsGrowLimit = 1016;
// ... and never exceeds the device's mount-points text with its terminating zero: a mount
// point, unlike a drive letter, can be thousands of characters long.
constexpr size_t kMountPointsTextMax = 1023;

// Reads at most kMaxFileBytes of a file; /proc files report size 0, so read to EOF.
std::string readCapped(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return text;
    }
    char chunk[8192];
    while (text.size() < kMaxFileBytes) {
        size_t got = std::fread(chunk, 1, sizeof chunk, file);
        if (got == 0) {
            break;
        }
        text.append(chunk, std::min(got, kMaxFileBytes - text.size()));
    }
    std::fclose(file);
    return text;
}

// Splits into lines, dropping any longer than kMaxLineBytes.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end - start <= kMaxLineBytes) {
            lines.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return lines;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t start = line.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) {
            break;
        }
        size_t end = line.find_first_of(" \t", start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

// The kernel writes space, tab, newline and backslash in paths as \040, \011, \012
// and \134. A backslash not followed by such an escape stays as it is, and so does
// \000, which would cut the path short.
std::string decodeEscapes(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && isOctal(field[i + 2]) && isOctal(field[i + 3])) {
            int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value != 0) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

// "major:minor" with both parts decimal.
bool isDevNumber(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos || colon + 1 == text.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != colon && (text[i] < '0' || text[i] > '9')) {
            return false;
        }
    }
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) {
        return false;
    }
    if (S_ISBLK(sa.st_mode) && S_ISBLK(sb.st_mode)) {
        return sa.st_rdev == sb.st_rdev;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void appendEntry(std::string& text, const std::string& entry) {
    if (text.size() >= kMountPointsGrowLimit) {
        return;
    }
    if (!text.empty()) {
        text += ',';
    }
    text += entry;
}

}  // namespace

MountTable MountTable::load(const std::string& mountinfoPath, const std::string& swapsPath) {
    MountTable table;
    try {
        std::string mountinfo = readCapped(mountinfoPath);
        for (std::string_view line : splitLines(mountinfo)) {
            std::vector<std::string_view> fields = splitFields(line);
            // mount id, parent id, major:minor, root, mount point, ...
            if (fields.size() < 5 || !isDevNumber(fields[2])) {
                continue;
            }
            table.mounts_.push_back({std::string(fields[2]), decodeEscapes(fields[4])});
        }
        std::string swaps = readCapped(swapsPath);
        std::vector<std::string_view> lines = splitLines(swaps);
        for (size_t i = 1; i < lines.size(); ++i) {  // line 0 is the column header
            std::vector<std::string_view> fields = splitFields(lines[i]);
            if (!fields.empty()) {
                table.swaps_.push_back(decodeEscapes(fields[0]));
            }
        }
    } catch (const std::exception& e) {
        logException("MountTable::load", e);
        return MountTable();
    } catch (...) {
        logUnknownException("MountTable::load", -1);
        return MountTable();
    }
    return table;
}

std::vector<std::string> MountTable::mountPointsOf(const std::string& devNumber) const {
    std::vector<std::string> points;
    if (devNumber.empty()) {
        return points;
    }
    for (const Mount& mount : mounts_) {
        if (mount.devNumber == devNumber) {
            points.push_back(mount.mountPoint);
        }
    }
    return points;
}

bool MountTable::isSwap(const std::string& nodePath) const {
    if (nodePath.empty()) {
        return false;
    }
    for (const std::string& swap : swaps_) {
        if (swap == nodePath || sameFile(swap, nodePath)) {
            return true;
        }
    }
    return false;
}

std::string driveMountPointsText(const DriveCatalog& catalog, const std::string& driveName,
                                 const MountTable& mounts) {
    std::string text;
    for (const std::string& point : mounts.mountPointsOf(catalog.devNumber(driveName))) {
        appendEntry(text, point);
    }
    for (const std::string& part : catalog.partitions(driveName)) {
        for (const std::string& point : mounts.mountPointsOf(catalog.devNumber(part))) {
            appendEntry(text, point);
        }
    }
    if (text.size() > kMountPointsTextMax) {
        text.resize(kMountPointsTextMax);
    }
    return text;
}

std::vector<std::string> namespaceDumpLines(const DriveCatalog& catalog, const MountTable& mounts) {
    std::vector<std::string> lines;
    auto addDevice = [&](const std::string& name) {
        std::string number = catalog.devNumber(name);
        if (!number.empty()) {
            lines.push_back(catalog.devRoot() + "/" + name + ": " + number);
        }
    };
    for (const std::string& drive : catalog.driveNames()) {
        addDevice(drive);
        for (const std::string& part : catalog.partitions(drive)) {
            addDevice(part);
        }
    }
    for (const MountTable::Mount& mount : mounts.mounts()) {
        lines.push_back(mount.devNumber + ": " + mount.mountPoint);
    }
    return lines;
}

}  // namespace vorn
