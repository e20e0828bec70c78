// The capacity check's entry and the words shown for it.

#include "results/CapacityEntry.h"

#include <gtest/gtest.h>

#include "results/Collections.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

CapacityResult counterfeit(uint64_t claimed, uint64_t verified, SectorFault fault) {
    CapacityResult r;
    r.claimedBytes = claimed;
    r.verifiedBytes = verified;
    r.sectorSize = 512;
    r.verdict = CapacityVerdict::Counterfeit;
    r.failedSector = 15234567;
    r.fault = fault;
    r.wrapsTo = fault == SectorFault::Wraps ? 2048 : 0;
    r.resolutionBytes = 1 << 20;
    return r;
}

TEST(CapacityEntry, VerdictAndFailureTexts) {
    CapacityResult genuine;
    genuine.claimedBytes = 64'000'000'000;
    genuine.verifiedBytes = genuine.claimedBytes;
    genuine.sectorSize = 512;
    const struct {
        CapacityResult result;
        const char* verdict;
        const char* failure;
    } cases[] = {
        {genuine,
         "Real capacity: verified 64,000,000,000 bytes (125,000,000 sectors, 64.00 GB) of "
         "64,000,000,000",
         ""},
        // Exact bytes and sectors; the gigabytes cut down, never rounded up (0.268 GB).
        {counterfeit(4'000'000'000, 268'435'456, SectorFault::Wraps),
         "Real capacity: only 268,435,456 bytes (524,288 sectors, 0.26 GB) of the claimed "
         "4,000,000,000 usable; data written beyond is lost",
         "First failed sector 15234567: wraps to sector 2048"},
        {counterfeit(1'073'741'824, 999'999'488, SectorFault::Zeros),
         "Real capacity: only 999,999,488 bytes (1,953,124 sectors, 0.99 GB) of the claimed "
         "1,073,741,824 usable; data written beyond is lost",
         "First failed sector 15234567: reads zeros"},
        {counterfeit(8'000'000'000, 0, SectorFault::ReadError),
         "Real capacity: none of the claimed 8,000,000,000 bytes usable; the medium keeps no "
         "data at its start",
         "First failed sector 15234567: read error"},
        {counterfeit(8'000'000'000, 4'000'000'000, SectorFault::OtherData),
         "Real capacity: only 4,000,000,000 bytes (7,812,500 sectors, 4.00 GB) of the claimed "
         "8,000,000,000 usable; data written beyond is lost",
         "First failed sector 15234567: reads other data"},
        {counterfeit(512, 0, SectorFault::WriteError),
         "Real capacity: none of the claimed 512 bytes usable; the medium keeps no data at its "
         "start",
         "First failed sector 15234567: write refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verdict);
        EXPECT_EQ(capacityVerdictText(c.result), c.verdict);
        EXPECT_EQ(capacityFailureText(c.result), c.failure);
    }
    // The kinds scripts read are single tokens.
    EXPECT_STREQ(sectorFaultName(SectorFault::ReadError), "read_error");
    EXPECT_STREQ(sectorFaultName(SectorFault::OtherData), "other_data");
    EXPECT_STREQ(sectorFaultName(SectorFault::WriteError), "write_error");
    CapacityResult stopped;
    EXPECT_EQ(capacityStopText(stopped), "");
    stopped.stop = ProbeStop::Gone;
    stopped.stopSector = 123456;
    EXPECT_EQ(capacityStopText(stopped),
              "The medium stopped answering at sector 123456; no verdict.");
    stopped.stop = ProbeStop::StartUnreadable;
    EXPECT_EQ(capacityStopText(stopped), "The medium cannot be read at its start; no verdict.");
}

TEST(CapacityEntry, StoredResultReadsBackAndDamagedValuesDoNot) {
    TempDir dir;
    const std::string path = dir.file("r.qkt");
    CapacityResult full = counterfeit(256'000'000'000, 31'999'999'488, SectorFault::Wraps);
    full.full = true;
    full.resolutionBytes = 0;
    {
        auto file = createCollection(path.c_str());
        ASSERT_NE(file, nullptr);
        ASSERT_TRUE(saveCapacityResult(*file, full));
    }
    auto file = openCollection(path.c_str());
    ASSERT_NE(file, nullptr);
    const auto back = loadCapacityResult(*file);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->claimedBytes, full.claimedBytes);
    EXPECT_EQ(back->verifiedBytes, full.verifiedBytes);
    EXPECT_EQ(back->verdict, full.verdict);
    EXPECT_EQ(back->failedSector, full.failedSector);
    EXPECT_EQ(back->fault, full.fault);
    EXPECT_EQ(back->wrapsTo, full.wrapsTo);
    EXPECT_TRUE(back->full);
    EXPECT_EQ(back->resolutionBytes, 0u);

    for (const char* value : {"", "1,2,3", "100,200,1,512,0,0,0,0,0", "100,50,1,512,0,9,0,0,0",
                              "100,50,3,512,0,0,0,0,0"}) {
        SCOPED_TRACE(value);
        const std::string damaged = dir.file("d.qkt");
        {
            auto writer = createCollection(damaged.c_str());
            ASSERT_TRUE(writer->addEntry(kCapacityKey, value, 0, nullptr));
        }
        auto reader = openCollection(damaged.c_str());
        ASSERT_NE(reader, nullptr);
        EXPECT_FALSE(loadCapacityResult(*reader).has_value());
    }
    // Absent in a result without the check.
    const std::string plain = dir.file("p.qkt");
    { ASSERT_TRUE(createCollection(plain.c_str())->addEntry("QKCTIME", nullptr, 0, nullptr)); }
    EXPECT_FALSE(loadCapacityResult(*openCollection(plain.c_str())).has_value());
}

}  // namespace
}  // namespace vorn::test
