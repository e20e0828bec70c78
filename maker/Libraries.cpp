#include "maker/Libraries.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <string_view>
#include <utility>

#include "results/LibraryWriter.h"

namespace vorn {

namespace {

// A library's header: magic and count (12 bytes), then 4 bytes per member.
constexpr uint64_t kLibraryHead = 12;
constexpr uint64_t kPerMember = 4;

// FNV-1a, 64 bits: enough to tell one version of a group from the next, and the same on
// every machine.
class NameHash {
public:
    void add(std::string_view bytes) {
        for (const char c : bytes) {
            value_ = (value_ ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
        }
    }
    // The top 48 bits as 12 upper-case hex digits.
    std::string text() const {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(value_));
        return std::string(hex, 12);
    }

private:
    uint64_t value_ = 0xCBF29CE484222325ull;
};

std::string groupName(const PublishedResult& result) {
    const std::string year = result.year > 0 ? std::to_string(result.year) : "UNDATED";
    return std::string(mediumKindName(result.kind)) + "-" + year;
}

std::string libraryName(const std::string& group,
                        const std::vector<const PublishedResult*>& members) {
    NameHash hash;
    for (const PublishedResult* member : members) {
        // The name and length first, so two members can never read as one.
        hash.add(member->name);
        hash.add(std::string_view("\0", 1));
        hash.add(std::to_string(member->bytes.size()));
        hash.add(member->bytes);
    }
    return group + "-" + hash.text() + ".QKL";
}

// Cuts one group's members into libraries of at most maxBytes each (a member larger
// than that on its own still gets a library).
void cutGroup(const std::string& group, const std::vector<const PublishedResult*>& members,
              uint64_t maxBytes, std::vector<LibraryPlan>* plans) {
    std::vector<const PublishedResult*> part;
    uint64_t size = kLibraryHead;
    for (const PublishedResult* member : members) {
        const uint64_t grows = kPerMember + member->bytes.size();
        if (!part.empty() && size + grows > maxBytes) {
            plans->push_back({libraryName(group, part), std::move(part)});
            part.clear();
            size = kLibraryHead;
        }
        part.push_back(member);
        size += grows;
    }
    if (!part.empty()) {
        plans->push_back({libraryName(group, part), std::move(part)});
    }
}

}  // namespace

std::vector<LibraryPlan> planLibraries(const std::vector<PublishedResult>& results,
                                       uint64_t maxBytes) {
    std::map<std::string, std::vector<const PublishedResult*>> groups;
    for (const PublishedResult& result : results) {
        groups[groupName(result)].push_back(&result);
    }
    std::vector<LibraryPlan> plans;
    for (auto& [group, members] : groups) {
        std::sort(
            members.begin(), members.end(),
            [](const PublishedResult* a, const PublishedResult* b) { return a->name < b->name; });
        cutGroup(group, members, maxBytes, &plans);
    }
    std::sort(plans.begin(), plans.end(),
              [](const LibraryPlan& a, const LibraryPlan& b) { return a.name < b.name; });
    return plans;
}

std::string libraryFileBytes(const LibraryPlan& plan) {
    std::vector<std::string_view> members;
    for (const PublishedResult* member : plan.members) {
        members.push_back(member->bytes);
    }
    return libraryBytes(members);
}

std::string updateListText(const std::string& version, const std::vector<LibraryPlan>& libraries) {
    std::string text = version + "\n";
    for (const LibraryPlan& library : libraries) {
        text += library.name + "\n";
    }
    return text;
}

}  // namespace vorn
