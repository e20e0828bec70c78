#include "results/CapacityEntry.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>

#include "results/Collections.h"

namespace vorn {
namespace {

constexpr uint32_t kValueRoom = 256;
constexpr double kGB = 1e9;

// 4000000000 as "4,000,000,000".
std::string groupedNumber(uint64_t value) {
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

// "268,435,456 bytes (524,288 sectors, 0.26 GB)": exact, and the gigabytes cut down
// to two places, never rounded up.
std::string exactSize(const CapacityResult& r, uint64_t bytes) {
    char gb[32];
    const double hundredths = std::floor(static_cast<double>(bytes) / kGB * 100.0);
    std::snprintf(gb, sizeof gb, "%.2f", hundredths / 100.0);
    std::string text = groupedNumber(bytes) + " bytes (";
    if (r.sectorSize != 0) {
        text += groupedNumber(bytes / r.sectorSize) + " sectors, ";
    }
    return text + gb + " GB)";
}

bool validFault(uint32_t fault) {
    return fault <= static_cast<uint32_t>(SectorFault::WriteError);
}

}  // namespace

bool saveCapacityResult(I_VornCollection& file, const CapacityResult& r) {
    char value[kValueRoom];
    std::snprintf(value, sizeof value,
                  "%" PRIu64 ",%" PRIu64 ",%u,%u,%" PRIu64 ",%u,%" PRIu64 ",%u,%" PRIu64,
                  r.claimedBytes, r.verifiedBytes, static_cast<uint32_t>(r.verdict), r.sectorSize,
                  r.failedSector, static_cast<uint32_t>(r.fault), r.wrapsTo, r.full ? 1u : 0u,
                  r.resolutionBytes);
    return file.addEntry(kCapacityKey, value, 0, nullptr);
}

std::optional<CapacityResult> loadCapacityResult(I_VornCollection& file) {
    char value[kValueRoom] = {};
    uint32_t valueCapacity = sizeof value - 1;
    uint32_t dataCapacity = 0;
    if (!file.findEntry(kCapacityKey, &valueCapacity, value, &dataCapacity, nullptr)) {
        return std::nullopt;
    }
    CapacityResult r;
    uint32_t verdict = 0, fault = 0, full = 0;
    const int read =
        std::sscanf(value, "%" SCNu64 ",%" SCNu64 ",%u,%u,%" SCNu64 ",%u,%" SCNu64 ",%u,%" SCNu64,
                    &r.claimedBytes, &r.verifiedBytes, &verdict, &r.sectorSize, &r.failedSector,
                    &fault, &r.wrapsTo, &full, &r.resolutionBytes);
    if (read != 9 || verdict < 1 || verdict > 2 || !validFault(fault) ||
        r.verifiedBytes > r.claimedBytes) {
        return std::nullopt;
    }
    r.verdict = static_cast<CapacityVerdict>(verdict);
    r.fault = static_cast<SectorFault>(fault);
    r.full = full != 0;
    return r;
}

std::string capacityVerdictText(const CapacityResult& r) {
    const std::string claimed = groupedNumber(r.claimedBytes);
    if (r.verdict == CapacityVerdict::Genuine) {
        return "Real capacity: verified " + exactSize(r, r.claimedBytes) + " of " + claimed;
    }
    if (r.verifiedBytes == 0) {
        return "Real capacity: none of the claimed " + claimed +
               " bytes usable; the medium keeps no data at its start";
    }
    return "Real capacity: only " + exactSize(r, r.verifiedBytes) + " of the claimed " + claimed +
           " usable; data written beyond is lost";
}

std::string capacityFailureText(const CapacityResult& r) {
    char text[128];
    const auto sector = static_cast<unsigned long long>(r.failedSector);
    switch (r.fault) {
        case SectorFault::None:
            return {};
        case SectorFault::Wraps:
            std::snprintf(text, sizeof text, "First failed sector %llu: wraps to sector %llu",
                          sector, static_cast<unsigned long long>(r.wrapsTo));
            return text;
        case SectorFault::Zeros:
            std::snprintf(text, sizeof text, "First failed sector %llu: reads zeros", sector);
            return text;
        case SectorFault::ReadError:
            std::snprintf(text, sizeof text, "First failed sector %llu: read error", sector);
            return text;
        case SectorFault::WriteError:
            std::snprintf(text, sizeof text, "First failed sector %llu: write refused", sector);
            return text;
        case SectorFault::OtherData:
            break;
    }
    std::snprintf(text, sizeof text, "First failed sector %llu: reads other data", sector);
    return text;
}

std::string capacityStopText(const CapacityResult& r) {
    char text[160];
    const auto sector = static_cast<unsigned long long>(r.stopSector);
    switch (r.stop) {
        case ProbeStop::None:
            return {};
        case ProbeStop::StartUnreadable:
            return "The medium cannot be read at its start; no verdict.";
        case ProbeStop::WriteRefused:
            std::snprintf(text, sizeof text,
                          "The medium refused a write at sector %llu, where its storage had "
                          "shown itself real; no verdict.",
                          sector);
            return text;
        case ProbeStop::Unreadable:
        case ProbeStop::Gone:
            break;
    }
    std::snprintf(text, sizeof text, "The medium stopped answering at sector %llu; no verdict.",
                  sector);
    return text;
}

const char* capacityVerdictName(CapacityVerdict verdict) {
    return verdict == CapacityVerdict::Genuine ? "genuine" : "counterfeit";
}

const char* sectorFaultName(SectorFault fault) {
    switch (fault) {
        case SectorFault::None:
            return "none";
        case SectorFault::Wraps:
            return "wraps";
        case SectorFault::Zeros:
            return "zeros";
        case SectorFault::ReadError:
            return "read_error";
        case SectorFault::WriteError:
            return "write_error";
        case SectorFault::OtherData:
            break;
    }
    return "other_data";
}

}  // namespace vorn
