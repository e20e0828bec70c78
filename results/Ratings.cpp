#include "results/Ratings.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "base/TextFormat.h"

namespace vorn {

// The SD Association's published definitions (sdcard.org, "Speed Class" and
// "Application Performance Class"; SD Physical Layer Simplified, Speed Class and
// Application Performance Class sections):
// - Speed Class 2/4/6/10, UHS Speed Class U1/U3 and Video Speed Class V6..V90 each
//   guarantee a minimum sustained sequential write of that many MB/s, where 1 MB is
//   1,000,000 bytes, written in whole allocation units (AU) of an erased area; every
//   AU written has to keep the rate, so the rating is a floor, not an average.
// - Application Performance Class A1: 1,500 random read and 500 random write IOPS of
//   4 KiB transfers, with 10 MB/s sustained sequential write; A2: 4,000 and 2,000 IOPS
//   with the same 10 MB/s, reached only on a host with command queuing and the card's
//   cache switched on.
const std::vector<RatingRule> kRatingRules = {
    {RatingFamily::Speed, 2, "Class 2", 2},
    {RatingFamily::Speed, 4, "Class 4", 4},
    {RatingFamily::Speed, 6, "Class 6", 6},
    {RatingFamily::Speed, 10, "Class 10", 10},
    {RatingFamily::Uhs, 1, "U1", 10},
    {RatingFamily::Uhs, 3, "U3", 30},
    {RatingFamily::Video, 6, "V6", 6},
    {RatingFamily::Video, 10, "V10", 10},
    {RatingFamily::Video, 30, "V30", 30},
    {RatingFamily::Video, 60, "V60", 60},
    {RatingFamily::Video, 90, "V90", 90},
    {RatingFamily::App, 1, "A1", 10, 1500, 500, false},
    {RatingFamily::App, 2, "A2", 10, 4000, 2000, true},
};

namespace {

constexpr uint64_t kMegabyte = 1000000;

// The practical payload of a bulk transfer at each USB signalling rate: protocol and
// line coding take their share (480 Mbit/s carries about 40 MB/s of data).
struct UsbGeneration {
    uint32_t speedKbps;
    const char* name;
    uint64_t practicalRate;
};
constexpr UsbGeneration kUsbGenerations[] = {
    {1500, "USB 1.1 Low Speed (1.5 Mbit/s)", 150000},
    {12000, "USB 1.1 Full Speed (12 Mbit/s)", 1000000},
    {480000, "USB 2.0 High Speed (480 Mbit/s)", 40000000},
    {5000000, "USB 3.2 Gen 1 (5 Gbit/s)", 450000000},
    {10000000, "USB 3.2 Gen 2 (10 Gbit/s)", 1000000000},
    {20000000, "USB 3.2 Gen 2x2 (20 Gbit/s)", 2000000000},
};

// "1,210": whole units with thousands grouped, cut rather than rounded so a figure just
// under a threshold never reads as the threshold.
std::string grouped(uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<size_t>(at), ",");
    }
    return digits;
}

uint64_t rateOf(const std::optional<QueuedRecord>& test) {
    return test ? test->bytesPerSecond : 0;
}
uint64_t milliIopsOf(const std::optional<QueuedRecord>& test) {
    return test ? test->milliIops : 0;
}

// The minimum sustained write: the lowest of the whole-medium write's slowest 16 MB,
// its rate after the cache, and the sequential 1 MiB write at depth 1 (a camera writes
// one request at a time). A rating is a floor over every allocation unit, and 16 MB
// spans whole units of every common size, so its slowest stretch is the nearest figure
// to that floor; the others only ever lower it. 0 when the run has none of them.
uint64_t minimumSustainedWrite(const ExtendedFigures& figures) {
    uint64_t lowest = UINT64_MAX;
    const WriteCurve curve = figures.sustained.value_or(WriteCurve{});
    for (const uint64_t rate :
         {curve.slowestRate, curve.sustainedRate, rateOf(figures.writes[0])}) {
        if (rate != 0) {
            lowest = std::min(lowest, rate);
        }
    }
    return figures.sustained && figures.writes[0] ? lowest : 0;
}

RatingFigures measuredFigures(const ExtendedFigures& figures) {
    RatingFigures measured;
    measured.sustainedWrite = minimumSustainedWrite(figures);
    measured.randomReadMilliIops = milliIopsOf(figures.reads[2]);
    measured.queuedReadMilliIops = milliIopsOf(figures.reads[3]);
    measured.randomWriteMilliIops = milliIopsOf(figures.writes[2]);
    measured.queuedWriteMilliIops = milliIopsOf(figures.writes[3]);
    for (const std::optional<QueuedRecord>& read : figures.reads) {
        measured.bestRead = std::max(measured.bestRead, rateOf(read));
    }
    return measured;
}

std::vector<std::string> missingFigures(const ExtendedFigures& figures, uint64_t sustained) {
    std::vector<std::string> missing;
    if (!figures.reads[2] || !figures.reads[3]) {
        missing.push_back("random read IOPS");
    }
    if (!figures.writes[2] || !figures.writes[3]) {
        missing.push_back("random write IOPS");
    }
    if (sustained == 0) {
        missing.push_back("sustained write");
    }
    return missing;
}

// A2's rates need command queuing, which a card only gets on a native host: behind a
// USB reader the card sees one command at a time whatever the queue depth asked.
std::string whyQueuingUntold(const std::optional<DriveLink>& link) {
    if (!link) {
        return "it needs a host with command queuing, and the drive's link is unknown";
    }
    if (link->behindReader || link->usb) {
        return "it needs a host with command queuing, which a USB reader does not give the "
               "card; only A1 can be told";
    }
    return {};
}

void addShortfall(std::string* why, const char* what, std::string measured, uint32_t need,
                  const char* name) {
    *why += (why->empty() ? "" : "; ") + std::string(what) + " " + measured + ", " + name +
            " needs " + grouped(need);
}

RatingVerdict verdictOn(const RatingRule& rule, const RatingFigures& m,
                        const std::optional<DriveLink>& link) {
    RatingVerdict verdict{&rule, Verdict::Meets, {}};
    if (rule.queued) {
        verdict.why = whyQueuingUntold(link);
        if (!verdict.why.empty()) {
            verdict.verdict = Verdict::Untold;
            return verdict;
        }
    }
    // A queued rating is measured queued; the others one transfer at a time.
    const uint64_t read = rule.queued ? m.queuedReadMilliIops : m.randomReadMilliIops;
    const uint64_t write = rule.queued ? m.queuedWriteMilliIops : m.randomWriteMilliIops;
    if (m.sustainedWrite < uint64_t{rule.writeMBps} * kMegabyte) {
        addShortfall(&verdict.why, "sustained write", ratingRateText(m.sustainedWrite),
                     rule.writeMBps, rule.name);
    }
    if (read < uint64_t{rule.readIops} * 1000) {
        addShortfall(&verdict.why, "random read", grouped(read / 1000) + " IOPS", rule.readIops,
                     rule.name);
    }
    if (write < uint64_t{rule.writeIops} * 1000) {
        addShortfall(&verdict.why, "random write", grouped(write / 1000) + " IOPS", rule.writeIops,
                     rule.name);
    }
    verdict.verdict = verdict.why.empty() ? Verdict::Meets : Verdict::Fails;
    return verdict;
}

}  // namespace

// Cut to the tenth for the same reason as the IOPS.
std::string ratingRateText(uint64_t bytesPerSecond) {
    const uint64_t tenths = bytesPerSecond / (kMegabyte / 10);
    return formatted("%" PRIu64 ".%" PRIu64 " MB/s", tenths / 10, tenths % 10);
}

std::optional<LinkLimit> usbLinkLimit(uint32_t speedKbps, uint64_t bestRead) {
    if (speedKbps == 0) {
        return std::nullopt;
    }
    LinkLimit limit;
    limit.bestRead = bestRead;
    // A rate the table does not know: its signalling rate with a fifth off for protocol.
    limit.generation = formatted("USB (%u Mbit/s)", speedKbps / 1000);
    limit.practicalRate = uint64_t{speedKbps} * 1000 / 8 * 4 / 5;
    for (const UsbGeneration& generation : kUsbGenerations) {
        if (generation.speedKbps == speedKbps) {
            limit.generation = generation.name;
            limit.practicalRate = generation.practicalRate;
        }
    }
    limit.limited =
        static_cast<double>(bestRead) >= kLinkLimitShare * static_cast<double>(limit.practicalRate);
    return limit;
}

RatingTable rateRun(const ExtendedFigures& figures, const std::optional<DriveLink>& link) {
    RatingTable table;
    table.measured = measuredFigures(figures);
    table.missing = missingFigures(figures, table.measured.sustainedWrite);
    table.linkKnown = link.has_value();
    if (link && link->card) {
        table.claims = link->card->claims;
    }
    if (link && link->usb) {
        table.usb = usbLinkLimit(link->usb->speedKbps, table.measured.bestRead);
    }
    if (!table.missing.empty()) {
        return table;
    }
    for (const RatingRule& rule : kRatingRules) {
        table.verdicts.push_back(verdictOn(rule, table.measured, link));
    }
    return table;
}

}  // namespace vorn
