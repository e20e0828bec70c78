#include "results/CapacityEntry.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "results/VornCollection.h"

namespace vorn {
namespace {

constexpr uint32_t kValueRoom = 256;
constexpr double kGB = 1e9;

std::string gigabytes(double tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", tenths / 10.0);
    return text;
}

bool validFault(uint32_t fault) {
    return fault <= static_cast<uint32_t>(SectorFault::OtherData);
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
    const double claimed = std::round(static_cast<double>(r.claimedBytes) / kGB * 10.0);
    if (r.verdict == CapacityVerdict::Genuine) {
        return "Real capacity: verified " + gigabytes(claimed) + " GB of " + gigabytes(claimed) +
               " GB";
    }
    const double usable = std::floor(static_cast<double>(r.verifiedBytes) / kGB * 10.0);
    return "Real capacity: only " + gigabytes(usable) + " GB of the claimed " + gigabytes(claimed) +
           " GB usable; data written beyond is lost";
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
        case SectorFault::OtherData:
            break;
    }
    std::snprintf(text, sizeof text, "First failed sector %llu: reads other data", sector);
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
            return "read error";
        case SectorFault::OtherData:
            break;
    }
    return "other data";
}

}  // namespace vorn
