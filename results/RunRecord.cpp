#include "results/RunRecord.h"

#include <algorithm>
#include <cstdio>

#include "base/LittleEndian.h"

namespace vorn {
namespace {

constexpr uint32_t kZoneBytes = 32;
constexpr uint32_t kAccessBytes = 32;

void encodeZone(const ZoneResult& zone, uint8_t* out) {
    storeLe64(out, zone.start);
    const uint32_t words[6] = {zone.maxRate,  zone.minRate, zone.medianRate,
                               zone.zoneRate, zone.stdDev,  zone.reserved};
    for (uint32_t i = 0; i < 6; ++i) {
        storeLe32(out + 8 + 4 * i, words[i]);
    }
}

ZoneResult decodeZone(const uint8_t* in) {
    auto word = [in](uint32_t offset) { return loadLe32(in + offset); };
    return ZoneResult{loadLe64(in), word(8), word(12), word(16), word(20), word(24), word(28)};
}

void encodeAccess(const AccessResult& result, uint8_t* out) {
    storeLe64(out, result.frequency);
    const uint32_t words[6] = {result.maxTicks,  result.minTicks,    result.medianTicks,
                               result.meanTicks, result.stdDevTicks, result.reserved};
    for (uint32_t i = 0; i < 6; ++i) {
        storeLe32(out + 8 + 4 * i, words[i]);
    }
}

AccessResult decodeAccess(const uint8_t* in) {
    auto word = [in](uint32_t offset) { return loadLe32(in + offset); };
    return AccessResult{loadLe64(in), word(8), word(12), word(16), word(20), word(24), word(28)};
}

StoredZones storedZones(I_VornCollection& result, const char* key) {
    std::vector<ZoneResult> zones;
    if (!readZones(result, key, &zones)) {
        return std::nullopt;
    }
    return zones;
}

std::optional<AccessResult> storedAccess(I_VornCollection& result, const char* key) {
    AccessResult access{};
    if (!readAccess(result, key, &access)) {
        return std::nullopt;
    }
    return access;
}

}  // namespace

RunRecord readRunRecord(I_VornCollection& result) {
    RunRecord run;
    for (int i = 0; i < kTestsPerTable; ++i) {
        run.reads[i] = storedZones(result, readTests[i].resultKey);
        run.writes[i] = storedZones(result, writeTests[i].resultKey);
    }
    run.random = storedAccess(result, stepOf(StepKind::RandomAccess).resultKey);
    run.sequential = storedAccess(result, stepOf(StepKind::SequentialAccess).resultKey);
    int32_t seconds = 0;
    if (readTestTime(result, &seconds)) {
        run.testTime = seconds;
    }
    run.details = readDetails(result);
    run.device = readStoredDrive(result);
    return run;
}

bool addRwTest(I_VornCollection& file, const char* key, const DiskRwRecord& test) {
    char value[128];
    std::snprintf(value, sizeof value, "%u,%u,%u,%u,%u,%u,%u", test.write, test.quick,
                  test.maxZones, test.blockSize, test.warmUpBytes, test.zoneSpan,
                  static_cast<uint32_t>(test.zones.size()));
    std::vector<uint8_t> data(test.zones.size() * kZoneBytes);
    for (size_t i = 0; i < test.zones.size(); ++i) {
        encodeZone(test.zones[i], data.data() + i * kZoneBytes);
    }
    return file.addEntry(key, value, static_cast<uint32_t>(data.size()), data.data());
}

bool readZones(I_VornCollection& result, const char* key, std::vector<ZoneResult>* zones) {
    uint32_t valueLength = 0;
    uint32_t dataLength = 0;
    if (!result.findEntry(key, &valueLength, nullptr, &dataLength, nullptr) ||
        dataLength % kZoneBytes != 0) {
        return false;
    }
    std::vector<uint8_t> data(dataLength);
    valueLength = 0;
    if (!result.findEntry(key, &valueLength, nullptr, &dataLength, data.data()) ||
        dataLength != data.size()) {
        return false;
    }
    zones->clear();
    for (uint32_t at = 0; at < dataLength; at += kZoneBytes) {
        zones->push_back(decodeZone(data.data() + at));
    }
    return true;
}

std::string defaultRwKey(const DiskRwRecord& test) {
    char name[kEntryNameBuffer];
    std::snprintf(name, sizeof name, "RWBENCH,%u,%u,%u,%u,%u,%u", test.write, test.quick,
                  test.maxZones, test.blockSize, test.warmUpBytes, test.zoneSpan);
    return name;
}

bool addAccessTest(I_VornCollection& file, const char* key, const AccessRecord& test) {
    char value[16];
    std::snprintf(value, sizeof value, "%u", test.accessCount);
    uint8_t data[kAccessBytes];
    encodeAccess(test.result, data);
    return file.addEntry(key, value, sizeof data, data);
}

bool readAccess(I_VornCollection& result, const char* key, AccessResult* out) {
    // Read into a scratch record so a refused entry leaves *out as it was.
    uint8_t data[kAccessBytes] = {};
    uint32_t valueLength = 0;
    uint32_t dataLength = sizeof data;
    if (!result.findEntry(key, &valueLength, nullptr, &dataLength, data) ||
        dataLength != kAccessBytes) {
        return false;
    }
    *out = decodeAccess(data);
    return true;
}

std::string defaultAccessKey(const AccessRecord& test) {
    char name[kEntryNameBuffer];
    std::snprintf(name, sizeof name, "RACCESS,%u", test.accessCount);
    return name;
}

bool addTestTime(I_VornCollection& file, uint32_t seconds) {
    uint8_t bytes[4];
    storeLe32(bytes, seconds);
    return file.addEntry("QKCTIME", nullptr, sizeof bytes, bytes);
}

bool readTestTime(I_VornCollection& result, int32_t* seconds) {
    uint8_t bytes[4] = {};
    uint32_t valueCapacity = 0;
    uint32_t dataCapacity = sizeof bytes;
    if (!result.findEntry("QKCTIME", &valueCapacity, nullptr, &dataCapacity, bytes) ||
        dataCapacity < sizeof bytes) {
        return false;
    }
    *seconds = static_cast<int32_t>(loadLe32(bytes));
    return true;
}

uint64_t accessHundredthsMs(const AccessResult& access, uint32_t ticks) {
    return access.frequency == 0 ? 0 : ticksToHundredthsMs(ticks, access.frequency);
}

std::optional<uint32_t> firstZoneRate(const StoredZones& test) {
    if (!test || test->empty()) {
        return std::nullopt;
    }
    return test->front().zoneRate;
}

uint32_t bestRate(const std::array<StoredZones, kTestsPerTable>& tests, GapRule rule) {
    uint32_t best = 0;
    for (const StoredZones& test : tests) {
        const std::optional<uint32_t> rate = firstZoneRate(test);
        if (test && !rate && rule == GapRule::StopAtEmptyTest) {
            break;
        }
        best = std::max(best, rate.value_or(0));
    }
    return best;
}

}  // namespace vorn
