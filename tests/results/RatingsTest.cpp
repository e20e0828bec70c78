// Verdicts against the SD ratings from known figures: the edges of each threshold,
// which figure stands for the sustained write, the link, the card's claims, missing
// figures and the table's text.

#include "results/Ratings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "results/LinkEntry.h"
#include "results/MemberSnapshot.h"
#include "results/RatingsText.h"
#include "view/ChartResults.h"

namespace vorn::test {
namespace {

// What a run measured, in bytes/s and whole IOPS.
struct Measured {
    uint64_t seqWriteQ1 = 40'000'000;
    uint64_t sustained = 35'000'000;
    uint64_t slowest = 32'000'000;
    uint64_t randomRead = 3000;
    uint64_t randomWrite = 900;
    uint64_t queuedRead = 5000;
    uint64_t queuedWrite = 2500;
    uint64_t seqReadQ8 = 90'000'000;
};

QueuedRecord randomAt(const RunStep& row, uint64_t iops) {
    return queuedRecord(row, iops * row.blockSize);
}

ExtendedFigures figuresOf(const Measured& m) {
    ExtendedFigures f;
    f.reads = {queuedRecord(extendedReads[0], m.seqReadQ8 / 2),
               queuedRecord(extendedReads[1], m.seqReadQ8),
               randomAt(extendedReads[2], m.randomRead), randomAt(extendedReads[3], m.queuedRead)};
    f.writes = {queuedRecord(extendedWrites[0], m.seqWriteQ1),
                queuedRecord(extendedWrites[1], m.seqWriteQ1 + 1'000'000),
                randomAt(extendedWrites[2], m.randomWrite),
                randomAt(extendedWrites[3], m.queuedWrite)};
    f.sustained = WriteCurve{64'000'000'000, 0, 0, m.sustained, m.slowest, 0};
    return f;
}

DriveLink nativeCard(SdClaims claims = {}) {
    DriveLink link;
    link.card = CardIdentity{};
    link.card->claims = claims;
    return link;
}

DriveLink usbAt(uint32_t kbps, bool reader) {
    DriveLink link;
    link.usb = UsbLink{};
    link.usb->speedKbps = kbps;
    link.behindReader = reader;
    return link;
}

Verdict verdictOf(const RatingTable& table, const std::string& name) {
    for (const RatingVerdict& v : table.verdicts) {
        if (name == v.rule->name) {
            return v.verdict;
        }
    }
    ADD_FAILURE() << "no verdict on " << name;
    return Verdict::Untold;
}

std::string whyOf(const RatingTable& table, const std::string& name) {
    for (const RatingVerdict& v : table.verdicts) {
        if (name == v.rule->name) {
            return v.why;
        }
    }
    return "no verdict on " + name;
}

std::vector<std::string> linesOf(const Measured& m, const std::optional<DriveLink>& link) {
    return ratingLines(rateRun(figuresOf(m), link));
}

TEST(Ratings, SustainedWriteThresholdsCountWholeMegabytesOfAMillionBytes) {
    Measured m;
    m.slowest = 10'000'000;  // exactly 10 MB/s
    const RatingTable exact = rateRun(figuresOf(m), nativeCard());
    EXPECT_EQ(exact.measured.sustainedWrite, 10'000'000u);
    for (const char* met : {"Class 2", "Class 10", "U1", "V10", "A1"}) {
        EXPECT_EQ(verdictOf(exact, met), Verdict::Meets) << met;
    }
    EXPECT_EQ(verdictOf(exact, "U3"), Verdict::Fails);
    EXPECT_EQ(verdictOf(exact, "V30"), Verdict::Fails);
    EXPECT_EQ(whyOf(exact, "U3"), "sustained write 10.0 MB/s, U3 needs 30");

    // A byte a second less: shown cut to 9.9, never rounded up to the threshold.
    m.slowest = 9'999'999;
    const RatingTable under = rateRun(figuresOf(m), nativeCard());
    EXPECT_EQ(verdictOf(under, "Class 6"), Verdict::Meets);
    EXPECT_EQ(verdictOf(under, "V6"), Verdict::Meets);
    for (const char* failed : {"Class 10", "U1", "V10", "A1", "A2"}) {
        EXPECT_EQ(verdictOf(under, failed), Verdict::Fails) << failed;
    }
    EXPECT_EQ(whyOf(under, "Class 10"), "sustained write 9.9 MB/s, Class 10 needs 10");
}

TEST(Ratings, MinimumSustainedWriteIsTheLowestOfTheCurveAndTheSequentialWrite) {
    const struct {
        uint64_t seqWriteQ1, sustained, slowest, expected;
    } cases[] = {
        {40'000'000, 35'000'000, 32'000'000, 32'000'000},  // the slowest 16 MB
        {25'000'000, 35'000'000, 32'000'000, 25'000'000},  // the sequential write at depth 1
        {40'000'000, 20'000'000, 32'000'000, 20'000'000},  // the rate after the cache
        {40'000'000, 35'000'000, 0, 35'000'000},           // no slowest stretch told
    };
    for (const auto& c : cases) {
        Measured m;
        m.seqWriteQ1 = c.seqWriteQ1;
        m.sustained = c.sustained;
        m.slowest = c.slowest;
        EXPECT_EQ(rateRun(figuresOf(m), std::nullopt).measured.sustainedWrite, c.expected)
            << c.seqWriteQ1 << " " << c.sustained << " " << c.slowest;
    }
}

TEST(Ratings, ApplicationClassOneAtItsRandomReadAndWriteEdges) {
    const struct {
        uint64_t read, write;
        Verdict a1;
        const char* why;
    } cases[] = {
        {1500, 500, Verdict::Meets, ""},
        {1500, 499, Verdict::Fails, "random write 499 IOPS, A1 needs 500"},
        {1499, 500, Verdict::Fails, "random read 1,499 IOPS, A1 needs 1,500"},
        {1499, 499, Verdict::Fails,
         "random read 1,499 IOPS, A1 needs 1,500; random write 499 IOPS, A1 needs 500"},
    };
    for (const auto& c : cases) {
        Measured m;
        m.randomRead = c.read;
        m.randomWrite = c.write;
        const RatingTable table = rateRun(figuresOf(m), nativeCard());
        EXPECT_EQ(verdictOf(table, "A1"), c.a1) << c.read << "/" << c.write;
        EXPECT_EQ(whyOf(table, "A1"), c.why);
    }
    // A thousandth short is short, and reads as the whole IOPS below.
    ExtendedFigures f = figuresOf(Measured{});
    f.writes[2]->milliIops = 499'999;
    const RatingTable table = rateRun(f, nativeCard());
    EXPECT_EQ(verdictOf(table, "A1"), Verdict::Fails);
    EXPECT_EQ(whyOf(table, "A1"), "random write 499 IOPS, A1 needs 500");
}

TEST(Ratings, ApplicationClassTwoIsToldOnlyOnANativeHostFromTheQueuedFigures) {
    Measured m;
    m.queuedWrite = 1210;
    EXPECT_EQ(linesOf(m, nativeCard())[3], "Not A2: random write 1,210 IOPS, A2 needs 2,000.");
    m.queuedWrite = 2000;
    EXPECT_EQ(verdictOf(rateRun(figuresOf(m), nativeCard()), "A2"), Verdict::Meets);
    // A1 stays on the one-at-a-time figures however fast the queued ones are.
    m.randomWrite = 400;
    EXPECT_EQ(verdictOf(rateRun(figuresOf(m), nativeCard()), "A1"), Verdict::Fails);

    const char* const reader =
        "it needs a host with command queuing, which a USB reader does not give the card; "
        "only A1 can be told";
    for (const DriveLink& link : {usbAt(5'000'000, true), usbAt(5'000'000, false)}) {
        const RatingTable table = rateRun(figuresOf(Measured{}), link);
        EXPECT_EQ(verdictOf(table, "A1"), Verdict::Meets);
        EXPECT_EQ(verdictOf(table, "A2"), Verdict::Untold);
        EXPECT_EQ(whyOf(table, "A2"), reader);
    }
    const RatingTable unknown = rateRun(figuresOf(Measured{}), std::nullopt);
    EXPECT_EQ(verdictOf(unknown, "A2"), Verdict::Untold);
    EXPECT_EQ(whyOf(unknown, "A2"),
              "it needs a host with command queuing, and the drive's link is unknown");
}

TEST(Ratings, TheCardsClaimsStandBesideTheMeasurement) {
    Measured m;
    m.queuedWrite = 850;
    const std::vector<std::string> lines = linesOf(m, nativeCard({0, 0, 30, 2}));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4],
              "The card claims V30 A2; measured: V30 yes, A2 no (random write 850 IOPS, A2 "
              "needs 2,000).");
    EXPECT_EQ(linesOf(m, nativeCard({10, 3, 60, 1}))[4],
              "The card claims Class 10 U3 V60 A1; measured: Class 10 yes, U3 yes, V60 no "
              "(sustained write 32.0 MB/s, V60 needs 60), A1 yes.");
    EXPECT_EQ(linesOf(m, nativeCard())[4], "The card claims no rating.");
    // A card that states no SD Status, or no card at all: no claims line.
    DriveLink silent = nativeCard();
    silent.card->claims.reset();
    EXPECT_EQ(linesOf(m, silent).size(), 5u);
}

TEST(Ratings, MissingFiguresAreNamedAndNoVerdictIsGiven) {
    ExtendedFigures readsOnly = figuresOf(Measured{});
    readsOnly.writes = {};
    readsOnly.sustained.reset();
    const RatingTable table = rateRun(readsOnly, std::nullopt);
    EXPECT_TRUE(table.verdicts.empty());
    EXPECT_EQ(table.missing, (std::vector<std::string>{"random write IOPS", "sustained write"}));
    EXPECT_EQ(ratingLines(table),
              (std::vector<std::string>{
                  kRatingsHeading,
                  "Ratings need the extended tests with the write test: random write IOPS "
                  "and sustained write are missing.",
                  "Link: unknown, so whether it held the rates back cannot be told."}));

    // The curve alone, without the sequential write it is checked against.
    ExtendedFigures curveOnly;
    curveOnly.sustained = WriteCurve{1'000'000'000, 0, 0, 20'000'000, 18'000'000, 0};
    EXPECT_EQ(ratingLines(rateRun(curveOnly, std::nullopt))[1],
              "Ratings need the extended tests with the write test: random read IOPS, random "
              "write IOPS and sustained write are missing.");
    ExtendedFigures noQueued = figuresOf(Measured{});
    noQueued.reads[3].reset();
    EXPECT_EQ(rateRun(noQueued, std::nullopt).missing,
              std::vector<std::string>{"random read IOPS"});

    // Nothing extended at all: no table, and no report block.
    EXPECT_FALSE(ratingsOf(ExtendedFigures{}, std::nullopt).has_value());
    EXPECT_EQ(ratingsReport(std::nullopt), "");
    EXPECT_TRUE(ratingsOf(curveOnly, std::nullopt).has_value());
}

TEST(Ratings, TheUsbLinkIsTheLimitFromEightyPercentOfItsPracticalRate) {
    const std::optional<LinkLimit> at = usbLinkLimit(480'000, 32'000'000);
    ASSERT_TRUE(at.has_value());
    EXPECT_EQ(at->generation, "USB 2.0 High Speed (480 Mbit/s)");
    EXPECT_EQ(at->practicalRate, 40'000'000u);
    EXPECT_TRUE(at->limited);
    EXPECT_FALSE(usbLinkLimit(480'000, 31'999'999)->limited);
    EXPECT_FALSE(usbLinkLimit(5'000'000, 90'000'000)->limited);
    EXPECT_TRUE(usbLinkLimit(12'000, 950'000)->limited);
    // A rate the table does not name: a fifth off its signalling rate.
    const std::optional<LinkLimit> odd = usbLinkLimit(1'000'000, 0);
    EXPECT_EQ(odd->generation, "USB (1000 Mbit/s)");
    EXPECT_EQ(odd->practicalRate, 100'000'000u);
    EXPECT_FALSE(usbLinkLimit(0, 1).has_value());

    Measured m;
    m.seqReadQ8 = 38'500'000;
    EXPECT_EQ(linesOf(m, usbAt(480'000, false)).back(),
              "Link: USB 2.0 High Speed (480 Mbit/s), about 40.0 MB/s in practice; reads "
              "reached 38.5 MB/s: the link is the limit, the medium may be faster.");
    EXPECT_EQ(linesOf(Measured{}, usbAt(5'000'000, true)).back(),
              "Link: USB 3.2 Gen 1 (5 Gbit/s), about 450.0 MB/s in practice; reads reached "
              "90.0 MB/s, within what it carries.");
    EXPECT_EQ(linesOf(Measured{}, nativeCard()).back(), "Link: the card's own host, not USB.");
}

TEST(Ratings, TheTableReadsHighestMetFirstThenEachShortfall) {
    Measured m;
    m.slowest = 6'500'000;
    m.randomWrite = 300;
    m.seqReadQ8 = 35'000'000;
    EXPECT_EQ(linesOf(m, usbAt(480'000, true)),
              (std::vector<std::string>{
                  kRatingsHeading, "Meets Class 6, V6.",
                  "Not Class 10: sustained write 6.5 MB/s, Class 10 needs 10.",
                  "Not U1: sustained write 6.5 MB/s, U1 needs 10.",
                  "Not V10: sustained write 6.5 MB/s, V10 needs 10.",
                  "Not A1: sustained write 6.5 MB/s, A1 needs 10; random write 300 IOPS, A1 "
                  "needs 500.",
                  "A2 cannot be told: it needs a host with command queuing, which a USB reader "
                  "does not give the card; only A1 can be told.",
                  "Link: USB 2.0 High Speed (480 Mbit/s), about 40.0 MB/s in practice; reads "
                  "reached 35.0 MB/s: the link is the limit, the medium may be faster."}));

    m.slowest = 1'000'000;
    EXPECT_EQ(linesOf(m, nativeCard())[1], "Meets none of the SD ratings.");
    EXPECT_EQ(linesOf(Measured{}, nativeCard())[1], "Meets Class 10, U3, V30, A2.");

    const RatingTable table = rateRun(figuresOf(Measured{}), std::nullopt);
    std::string block = "RATINGS\n";
    for (const std::string& line : ratingLines(table)) {
        block += line + "\n";
    }
    EXPECT_EQ(ratingsReport(table), block + "\n\n\n");
    EXPECT_EQ(ratingLines(table)[1], "Meets Class 10, U3, V30, A1.");
}

}  // namespace

// An image file's run stores a link that names nothing: it reads as unknown, never as
// a card on its own host (which would let A2 be judged).
TEST(RatingsLink, AStoredLinkThatNamesNothingIsUnknown) {
    MemberSnapshot empty;
    empty.append(kLinkKey, linkEntryText(DriveLink{}).c_str(), 0, nullptr);
    EXPECT_FALSE(runDriveLink(empty).has_value());
    MemberSnapshot reader;
    DriveLink behind;
    behind.usb = UsbLink{};
    behind.usb->speedKbps = 480000;
    behind.usb->version = "2.00";
    behind.usb->driver = "usb-storage";
    behind.behindReader = true;
    reader.append(kLinkKey, linkEntryText(behind).c_str(), 0, nullptr);
    ASSERT_TRUE(runDriveLink(reader).has_value());
    EXPECT_TRUE(runDriveLink(reader)->behindReader);
    MemberSnapshot none;
    EXPECT_FALSE(runDriveLink(none).has_value());
}

}  // namespace vorn::test
