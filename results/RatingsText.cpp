#include "results/RatingsText.h"

#include "results/LinkEntry.h"

namespace vorn {

namespace {

// "a, b and c": `between` between the items, `last` before the last one.
std::string listed(const std::vector<std::string>& items, const char* between, const char* last) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            text += i + 1 == items.size() ? last : between;
        }
        text += items[i];
    }
    return text;
}

std::string missingLine(const std::vector<std::string>& missing) {
    const char* const verb = missing.size() == 1 ? " is" : " are";
    return "Ratings need the extended tests with the write test: " +
           listed(missing, ", ", " and ") + verb + " missing.";
}

// The highest rating met in each family, families in table order.
std::vector<std::string> highestMet(const std::vector<RatingVerdict>& verdicts) {
    std::vector<std::string> met;
    for (size_t i = 0; i < verdicts.size(); ++i) {
        const bool last =
            i + 1 == verdicts.size() || verdicts[i + 1].rule->family != verdicts[i].rule->family;
        // Ratings of a family rise, so the last one met is its highest.
        const bool nextMet = !last && verdicts[i + 1].verdict == Verdict::Meets;
        if (verdicts[i].verdict == Verdict::Meets && !nextMet) {
            met.push_back(verdicts[i].rule->name);
        }
    }
    return met;
}

std::string meetsLine(const std::vector<RatingVerdict>& verdicts) {
    const std::vector<std::string> met = highestMet(verdicts);
    return met.empty() ? "Meets none of the SD ratings." : "Meets " + listed(met, ", ", ", ") + ".";
}

// The lowest rating of each family that falls short, and every one that cannot be told.
void addShortfalls(const std::vector<RatingVerdict>& verdicts, std::vector<std::string>* lines) {
    const RatingVerdict* previous = nullptr;
    for (const RatingVerdict& v : verdicts) {
        const bool firstFail = previous == nullptr || previous->rule->family != v.rule->family ||
                               previous->verdict != Verdict::Fails;
        if (v.verdict == Verdict::Fails && firstFail) {
            lines->push_back("Not " + std::string(v.rule->name) + ": " + v.why + ".");
        } else if (v.verdict == Verdict::Untold) {
            lines->push_back(std::string(v.rule->name) + " cannot be told: " + v.why + ".");
        }
        previous = &v;
    }
}

const RatingVerdict* verdictFor(const RatingTable& table, RatingFamily family, uint8_t level) {
    for (const RatingVerdict& v : table.verdicts) {
        if (v.rule->family == family && v.rule->level == level) {
            return &v;
        }
    }
    return nullptr;
}

std::string measuredText(const RatingVerdict& v) {
    switch (v.verdict) {
        case Verdict::Meets:
            return std::string(v.rule->name) + " yes";
        case Verdict::Fails:
            return std::string(v.rule->name) + " no (" + v.why + ")";
        case Verdict::Untold:
            break;
    }
    return std::string(v.rule->name) + " not told";
}

// "The card claims V30 A2; measured: V30 yes, A2 no (random write 850 IOPS, A2 needs
// 2,000)." A claim the table has no rule for is left out.
std::string claimsLine(const RatingTable& table, const SdClaims& claims) {
    const std::pair<RatingFamily, uint8_t> claimed[] = {{RatingFamily::Speed, claims.speedClass},
                                                        {RatingFamily::Uhs, claims.uhsGrade},
                                                        {RatingFamily::Video, claims.videoClass},
                                                        {RatingFamily::App, claims.appClass}};
    std::vector<std::string> names;
    std::vector<std::string> measured;
    for (const auto& [family, level] : claimed) {
        if (const RatingVerdict* v = level != 0 ? verdictFor(table, family, level) : nullptr) {
            names.push_back(v->rule->name);
            measured.push_back(measuredText(*v));
        }
    }
    if (names.empty()) {
        return "The card claims no rating.";
    }
    return "The card claims " + listed(names, " ", " ") +
           "; measured: " + listed(measured, ", ", ", ") + ".";
}

std::string linkLine(const RatingTable& table) {
    if (!table.linkKnown) {
        return "Link: unknown, so whether it held the rates back cannot be told.";
    }
    if (!table.usb) {
        return "Link: the card's own host, not USB.";
    }
    const LinkLimit& usb = *table.usb;
    const std::string carried = "Link: " + usb.generation + ", about " +
                                ratingRateText(usb.practicalRate) + " in practice; reads reached " +
                                ratingRateText(usb.bestRead);
    return carried + (usb.limited ? ": the link is the limit, the medium may be faster."
                                  : ", within what it carries.");
}

}  // namespace

std::optional<RatingTable> ratingsOf(const ExtendedFigures& figures,
                                     const std::optional<DriveLink>& link) {
    if (!figures.any()) {
        return std::nullopt;
    }
    return rateRun(figures, link);
}

// Runs store the link they were measured over; older results read as an unknown link,
// and so does a stored link that names nothing (an image file, a disk whose bus sysfs
// does not tell): it must not pass for a card on its own host.
std::optional<DriveLink> runDriveLink(I_VornCollection& result) {
    std::optional<DriveLink> link = readLinkEntry(result);
    if (link && !link->usb && !link->card && !link->behindReader) {
        return std::nullopt;
    }
    return link;
}

std::string metRatingsText(const RatingTable& table) {
    return table.missing.empty() ? listed(highestMet(table.verdicts), ", ", ", ") : std::string();
}

std::vector<std::string> ratingLines(const RatingTable& table) {
    std::vector<std::string> lines{kRatingsHeading};
    if (!table.missing.empty()) {
        lines.push_back(missingLine(table.missing));
    } else {
        lines.push_back(meetsLine(table.verdicts));
        addShortfalls(table.verdicts, &lines);
        if (table.claims) {
            lines.push_back(claimsLine(table, *table.claims));
        }
    }
    lines.push_back(linkLine(table));
    return lines;
}

std::string ratingsReport(const std::optional<RatingTable>& table) {
    if (!table) {
        return {};
    }
    std::string report = "RATINGS\n";
    for (const std::string& line : ratingLines(*table)) {
        report += line + '\n';
    }
    return report + "\n\n\n";
}

}  // namespace vorn
