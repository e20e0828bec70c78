// The full capacity check's write pass gathered into spans as the check reports its
// progress, on a memory medium whose writes take programmed times.

#include "results/WritePassSpans.h"

#include <gtest/gtest.h>

#include "support/ManualCounter.h"
#include "support/MemoryDevice.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMiB = uint64_t{1} << 20;
constexpr uint64_t kMedium = 160 * kMiB;
constexpr uint64_t kCache = 30 * kMiB;  // ends inside a span
constexpr double kFast = 180e6, kSlow = 22e6;

// Passes the check's progress to the spans; cancels after `cancelAfter` reports.
class Recorder : public I_ProbeObserver {
public:
    explicit Recorder(WritePassSpans& spans) : spans_(spans) {}
    void progress(const ProbeProgress& p) override {
        spans_.note(p);
        ++reports_;
    }
    bool cancelRequested() override { return cancelAfter != 0 && reports_ >= cancelAfter; }
    uint64_t cancelAfter = 0;

private:
    WritePassSpans& spans_;
    uint64_t reports_ = 0;
};

// The medium takes the first kCache bytes written at kFast, the rest at kSlow; reads
// take no time.
struct CachedMedium {
    CachedMedium() : device(options()) {
        device.recordTransfers(false);
        device.useClock(&clock);
        device.ticksFor = [this](uint64_t, const Transfer& t) -> uint64_t {
            if (t.kind != kEventWrite) {
                return 0;
            }
            const uint64_t bytes = uint64_t{t.count} * 512;
            const uint64_t cached = written >= kCache ? 0 : std::min(bytes, kCache - written);
            written += bytes;
            return static_cast<uint64_t>(static_cast<double>(cached) / kFast * 1e9 +
                                         static_cast<double>(bytes - cached) / kSlow * 1e9);
        };
    }
    static MemoryDevice::Options options() {
        MemoryDevice::Options o;
        o.sectors = kMedium / 512;
        return o;
    }
    ProbeStatus check(Recorder& recorder, bool full) {
        EXPECT_TRUE(device.enableWrite(1, 512, 0));
        ProbeOptions options;
        options.full = full;
        CapacityResult result;
        return probeCapacity(device, options, recorder, result);
    }

    ManualCounter clock;
    MemoryDevice device;
    uint64_t written = 0;
};

TEST(WritePassSpans, TheFullChecksWritePassShowsTheCacheWithoutTakingMemory) {
    CachedMedium medium;
    WritePassSpans spans(kMedium);
    const size_t room = spans.spans().capacity();
    Recorder recorder(spans);
    ASSERT_EQ(medium.check(recorder, true), ProbeStatus::Done);
    const auto curve = spans.curve(kMedium);
    EXPECT_EQ(spans.spans().capacity(), room);
    // Written from the top down, one span after another, covering the medium once.
    ASSERT_EQ(spans.spans().size(), kMedium / spans.spanBytes());
    EXPECT_EQ(spans.spans().front().offset, kMedium - spans.spanBytes());
    EXPECT_EQ(spans.spans().back().offset, 0u);
    ASSERT_TRUE(curve.has_value());
    EXPECT_EQ(curve->writtenBytes, kMedium);
    EXPECT_NEAR(static_cast<double>(curve->cacheBytes), static_cast<double>(kCache),
                static_cast<double>(spans.spanBytes()));
    EXPECT_NEAR(static_cast<double>(curve->cacheRate), kFast, kFast * 0.02);
    EXPECT_NEAR(static_cast<double>(curve->sustainedRate), kSlow, kSlow * 0.02);
    EXPECT_NEAR(static_cast<double>(curve->slowestRate), kSlow, kSlow * 0.001);
    EXPECT_LT(curve->slowestOffset, kMedium - kCache);

    // Below a counterfeit medium's real size only the spans there count: its top, the
    // first part written, was the fast one.
    const auto real = spans.curve(100 * kMiB);
    ASSERT_TRUE(real.has_value());
    EXPECT_EQ(real->writtenBytes, 100 * kMiB);
    EXPECT_EQ(real->cacheBytes, 0u);
    EXPECT_FALSE(spans.curve(0).has_value());
}

TEST(WritePassSpans, OnlyAWholeMediumWritePassIsKept) {
    {
        CachedMedium medium;  // the fast probe writes no whole pass
        WritePassSpans spans(kMedium);
        Recorder recorder(spans);
        ASSERT_EQ(medium.check(recorder, false), ProbeStatus::Done);
        EXPECT_TRUE(spans.spans().empty());
        EXPECT_FALSE(spans.curve(kMedium).has_value());
    }
    // A check cancelled inside its write pass keeps what it wrote, the last span too.
    CachedMedium medium;
    WritePassSpans spans(kMedium);
    Recorder recorder(spans);
    recorder.cancelAfter = 100;  // about 25 MB of 256 KiB requests
    ASSERT_EQ(medium.check(recorder, true), ProbeStatus::Cancelled);
    spans.finish();
    uint64_t bytes = 0;
    for (const WriteSpan& s : spans.spans()) {
        bytes += s.bytes;
        EXPECT_GT(s.seconds, 0);
    }
    EXPECT_EQ(bytes, medium.written);
    EXPECT_LT(bytes, kMedium / 2);
}

// A medium larger than the spans' count allows gets larger spans, not more memory.
TEST(WritePassSpans, SpansGrowOnHugeMedia) {
    EXPECT_EQ(WritePassSpans(kMedium).spanBytes(), 4 * kMiB);
    const uint64_t huge = uint64_t{2} << 40;
    const WritePassSpans spans(huge);
    EXPECT_GT(spans.spanBytes(), 4 * kMiB);
    EXPECT_LE(spans.spans().capacity() * sizeof(WriteSpan), 2 * kMiB);
    EXPECT_GE(spans.spans().capacity(), huge / spans.spanBytes());
}

}  // namespace
}  // namespace vorn::test
