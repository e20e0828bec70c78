#include "results/LibraryWriter.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "results/CollectionFile.h"
#include "results/ReplacementFile.h"
#include "results/VornFileCRC.h"

namespace vorn {

namespace {

constexpr uint64_t kOffsetTable = 12;
// Member offsets are 32-bit, so a library ends below 4 GB.
constexpr uint64_t kLargestLibrary = UINT32_MAX;

struct Member {
    std::string path;
    uint32_t length = 0;
};

// The length of a complete result file, checked as a reader checks it.
bool checkMember(const std::string& path, uint32_t* length, std::string* problem) {
    std::string why;
    uint64_t end = 0;
    if (!openCompleteResult(path.c_str(), &end, &why)) {
        *problem = path + ": " + why;
        return false;
    }
    *length = static_cast<uint32_t>(end);
    return true;
}

// A member's bytes, checked again as they are copied: a file changed since it was
// checked must not reach the library.
bool readMember(const Member& member, std::vector<unsigned char>* bytes, std::string* problem) {
    bytes->resize(member.length);
    FileHandle file = openRegularFile(member.path.c_str());
    if (!file || !readAt(file.get(), 0, bytes->data(), bytes->size())) {
        *problem = "cannot read " + member.path;
        return false;
    }
    VornFileCRC crc;
    if (std::memcmp(bytes->data(), kResultMagic, sizeof kResultMagic) != 0 ||
        loadLe32(bytes->data() + 12) != member.length ||
        crc.crcOfBuffer(bytes->data() + 12, member.length - 12) != loadLe32(bytes->data() + 8)) {
        *problem = member.path + " changed while the library was written";
        return false;
    }
    return true;
}

// The magic, the member count and each member's offset, members following in order.
std::vector<unsigned char> libraryHead(const std::vector<uint32_t>& lengths) {
    std::vector<unsigned char> head(kOffsetTable + 4 * lengths.size());
    std::memcpy(head.data(), kLibraryMagic, sizeof kLibraryMagic);
    storeLe32(head.data() + 8, static_cast<uint32_t>(lengths.size()));
    uint64_t offset = head.size();
    for (size_t i = 0; i < lengths.size(); ++i) {
        storeLe32(head.data() + kOffsetTable + 4 * i, static_cast<uint32_t>(offset));
        offset += lengths[i];
    }
    return head;
}

bool writeContents(ReplacementFile& out, const std::vector<Member>& members, std::string* problem) {
    std::vector<uint32_t> lengths;
    for (const Member& member : members) {
        lengths.push_back(member.length);
    }
    const std::vector<unsigned char> head = libraryHead(lengths);
    if (!out.write(head.data(), head.size())) {
        *problem = "cannot write the library: " + out.problem();
        return false;
    }
    std::vector<unsigned char> bytes;
    for (const Member& member : members) {
        if (!readMember(member, &bytes, problem)) {
            return false;
        }
        if (!out.write(bytes.data(), bytes.size())) {
            *problem = "cannot write the library: " + out.problem();
            return false;
        }
    }
    return true;
}

// Writes into a fresh file beside the target, then renames it over the target.
bool writeReplacing(const std::string& outPath, const std::vector<Member>& members,
                    std::string* problem) {
    ReplacementFile out(outPath);
    if (!out.reserve()) {
        *problem = "cannot write " + outPath + ": " + out.problem();
        return false;
    }
    if (!writeContents(out, members, problem)) {
        return false;
    }
    if (!out.commit()) {
        *problem = "cannot replace " + outPath + ": " + out.problem();
        return false;
    }
    return true;
}

}  // namespace

bool writeLibrary(const std::string& outPath, const std::vector<std::string>& memberPaths,
                  std::vector<std::string>* problems) {
    // A library without members opens nowhere.
    if (memberPaths.empty()) {
        problems->push_back("a library needs at least one result file");
        return false;
    }
    std::vector<Member> members;
    uint64_t total = kOffsetTable + 4 * uint64_t{memberPaths.size()};
    bool allSound = true;
    for (const std::string& path : memberPaths) {
        Member member{path, 0};
        std::string problem;
        if (!checkMember(path, &member.length, &problem)) {
            problems->push_back(problem);
            allSound = false;
            continue;
        }
        total += member.length;
        members.push_back(std::move(member));
    }
    if (!allSound) {
        return false;
    }
    if (total > kLargestLibrary) {
        problems->push_back("the library would be larger than 4 GB");
        return false;
    }
    std::string problem;
    if (!writeReplacing(outPath, members, &problem)) {
        problems->push_back(problem);
        return false;
    }
    return true;
}

std::string libraryBytes(const std::vector<std::string_view>& members) {
    uint64_t total = kOffsetTable + 4 * uint64_t{members.size()};
    std::vector<uint32_t> lengths;
    for (const std::string_view member : members) {
        total += member.size();
        lengths.push_back(static_cast<uint32_t>(member.size()));
    }
    if (members.empty() || total > kLargestLibrary) {
        return {};
    }
    const std::vector<unsigned char> head = libraryHead(lengths);
    std::string bytes(head.begin(), head.end());
    bytes.reserve(total);
    for (const std::string_view member : members) {
        bytes.append(member);
    }
    return bytes;
}

}  // namespace vorn
