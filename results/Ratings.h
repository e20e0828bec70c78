#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "results/ExtendedEntries.h"
#include "storage/DriveLink.h"

// Verdicts against the SD Association's ratings, from a run's own figures: what the
// measured rates would meet, what they would not and why, beside what the card claims
// and what the USB link could carry. QK Vorn's measurement under its own conditions,
// never a certification.

namespace vorn {

enum class RatingFamily { Speed, Uhs, Video, App };

// One rating and what it asks for. Rates in MB/s of 1,000,000 bytes, as the SD
// Association counts them; IOPS of 4 KiB random transfers.
struct RatingRule {
    RatingFamily family;
    uint8_t level;           // the number the card's own claims use (10 for Class 10, 3 for U3)
    const char* name;        // "Class 10", "U3", "V30", "A1"
    uint32_t writeMBps;      // minimum sustained sequential write
    uint32_t readIops = 0;   // application classes only
    uint32_t writeIops = 0;  // application classes only
    bool queued = false;     // needs a host with command queuing (A2)
};

// The ratings in family order, lowest first within a family.
extern const std::vector<RatingRule> kRatingRules;

enum class Verdict { Meets, Fails, Untold };

struct RatingVerdict {
    const RatingRule* rule = nullptr;
    Verdict verdict = Verdict::Untold;
    // Fails: what fell short ("random write 1,210 IOPS, A2 needs 2,000"); Untold: why it
    // cannot be told. Empty when it meets the rating.
    std::string why;
};

// What the link was and whether it held the medium back.
struct LinkLimit {
    std::string generation;      // "USB 2.0 High Speed (480 Mbit/s)"
    uint64_t practicalRate = 0;  // bytes/s a bulk transfer gets over it in practice
    uint64_t bestRead = 0;       // the fastest read measured, bytes/s
    bool limited = false;        // bestRead reached kLinkLimitShare of practicalRate
};

// A read at or above this share of what the link carries in practice is taken to be
// held back by the link.
inline constexpr double kLinkLimitShare = 0.8;

// The measured figures the verdicts are taken from.
struct RatingFigures {
    uint64_t sustainedWrite = 0;       // bytes/s: the minimum sustained write (see rateRun)
    uint64_t randomReadMilliIops = 0;  // 4 KiB random, one transfer at a time
    uint64_t randomWriteMilliIops = 0;
    uint64_t queuedReadMilliIops = 0;  // 4 KiB random at queue depth 32
    uint64_t queuedWriteMilliIops = 0;
    uint64_t bestRead = 0;  // bytes/s, the fastest extended read
};

struct RatingTable {
    // The figures a verdict needs that the run lacks ("random write IOPS"); the
    // verdicts are empty when any is missing.
    std::vector<std::string> missing;
    RatingFigures measured;
    std::vector<RatingVerdict> verdicts;  // kRatingRules order
    std::optional<SdClaims> claims;       // what the card states of itself
    bool linkKnown = false;
    std::optional<LinkLimit> usb;  // only for a drive on a USB link
};

// The verdicts of a run with the extended tests and the write test. `link` is the
// drive's link as the run stored it; nothing when it is unknown.
RatingTable rateRun(const ExtendedFigures& figures, const std::optional<DriveLink>& link);

// "9.9 MB/s" in MB of 1,000,000 bytes, cut (not rounded) to the tenth.
std::string ratingRateText(uint64_t bytesPerSecond);

// The USB link at `speedKbps`; nothing for 0.
std::optional<LinkLimit> usbLinkLimit(uint32_t speedKbps, uint64_t bestRead);

}  // namespace vorn
