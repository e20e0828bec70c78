#include "maker/UploadVerdict.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/VornCollection.h"
#include "maker/MailMessage.h"
#include "maker/SafeText.h"
#include "results/CollectionFile.h"
#include "results/EntryCursor.h"

namespace vorn {

namespace {

// Every run saves its drive identification, even an empty one.
constexpr const char* kDriveIdKey = "DRIVEID";

bool startsWith(std::string_view bytes, const unsigned char (&magic)[8]) {
    return bytes.size() >= sizeof magic && std::memcmp(bytes.data(), magic, sizeof magic) == 0;
}

bool isAttachment(const MailPart& part) {
    return part.disposition == "attachment" || !part.fileName.empty() ||
           part.contentType.rfind("text/", 0) != 0;
}

// Where the last sound entry ends: the end of the result when every entry is sound.
uint64_t entriesEnd(EntryCursor& entries) {
    uint64_t at = kResultHeaderSize;
    char name[kEntryNameBuffer];
    for (bool more = entries.first(name); more; more = entries.next(name)) {
        uint32_t valueLength = 0;
        uint32_t dataLength = 0;
        if (!entries.readCurrent(&valueLength, nullptr, &dataLength, nullptr)) {
            break;
        }
        at += 16 + std::strlen(name) + 1 + uint64_t{valueLength} + dataLength;
    }
    return at;
}

// The header's checks are the readers' own, run on the bytes in memory.
std::string checkedEntries(std::string_view bytes) {
    FileHandle file(fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb"));
    uint64_t end = 0;
    if (!file) {
        return "the result could not be read in memory";
    }
    if (!checkResultHeader(file.get(), 0, bytes.size(), &end)) {
        return "damaged result: its CRC does not match";
    }
    EntryCursor entries;
    entries.reset(file.get(), kResultHeaderSize, end);
    if (entriesEnd(entries) != end) {
        return "damaged result: its entries do not reach its end";
    }
    uint32_t valueCapacity = 0;
    uint32_t dataCapacity = 0;
    if (!entries.find(kDriveIdKey, &valueCapacity, nullptr, &dataCapacity, nullptr)) {
        return "the result holds no drive identification (DRIVEID)";
    }
    return "";
}

KeptText keptText(const MailPart& part) {
    KeptText kept;
    kept.name = part.fileName.empty() ? "(message text)" : printableLine(part.fileName);
    kept.bytes = part.body.size();
    kept.cut = part.body.size() > kMaxKeptTextBytes;
    const std::string_view text = std::string_view(part.body).substr(0, kMaxKeptTextBytes);
    for (size_t at = 0; at < text.size();) {
        const size_t newline = std::min(text.find('\n', at), text.size());
        std::string_view line = text.substr(at, newline - at);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        kept.text += printableLine(line, line.size());
        kept.text += '\n';
        at = newline + 1;
    }
    return kept;
}

struct Found {
    std::vector<size_t> results;
    size_t libraries = 0;
    size_t attachments = 0;
};

Found lookThrough(const std::vector<MailPart>& parts) {
    Found found;
    for (size_t i = 0; i < parts.size(); ++i) {
        found.attachments += isAttachment(parts[i]) ? 1 : 0;
        if (startsWith(parts[i].body, kResultMagic)) {
            found.results.push_back(i);
        } else if (startsWith(parts[i].body, kLibraryMagic)) {
            ++found.libraries;
        }
    }
    return found;
}

// Why the message holds no single result to look at, or nothing.
std::optional<std::string> partsProblem(const Found& found) {
    if (found.results.size() > 1) {
        return std::to_string(found.results.size()) +
               " results in one message; an upload carries one";
    }
    if (found.libraries > 0) {
        return std::string("a library file, not a result");
    }
    if (found.attachments == 0) {
        return std::string("no attachment");
    }
    if (found.results.empty()) {
        return "no result among the " + std::to_string(found.attachments) + " attachment" +
               (found.attachments == 1 ? "" : "s");
    }
    return std::nullopt;
}

UploadVerdict rejected(UploadVerdict verdict, std::string reason) {
    verdict.reason = std::move(reason);
    return verdict;
}

}  // namespace

std::string resultProblem(std::string_view bytes) {
    if (bytes.size() > kMaxResultBytes) {
        return "a result of " + std::to_string(bytes.size()) + " bytes is over the limit of " +
               std::to_string(kMaxResultBytes);
    }
    if (bytes.size() < kResultHeaderSize) {
        return "truncated result: " + std::to_string(bytes.size()) + " bytes, less than its header";
    }
    const uint32_t length = loadLe32(reinterpret_cast<const unsigned char*>(bytes.data()) + 12);
    if (length < kResultHeaderSize) {
        return "damaged result: its header gives a length of " + std::to_string(length);
    }
    if (length > bytes.size()) {
        return "truncated result: " + std::to_string(bytes.size()) + " of its " +
               std::to_string(length) + " bytes";
    }
    if (length < bytes.size()) {
        return "damaged result: " + std::to_string(bytes.size() - length) +
               " bytes after the end its header gives";
    }
    return checkedEntries(bytes);
}

UploadVerdict judgeUpload(std::string_view message) {
    UploadVerdict verdict;
    MailMessage mail = parseMailMessage(message);
    verdict.subject = printableLine(mail.subject);
    if (mail.problem != MailProblem::none) {
        return rejected(std::move(verdict), mailProblemText(mail.problem));
    }
    const Found found = lookThrough(mail.parts);
    if (auto problem = partsProblem(found)) {
        return rejected(std::move(verdict), *problem);
    }
    MailPart& result = mail.parts[found.results.front()];
    verdict.resultName = printableLine(result.fileName);
    if (std::string problem = resultProblem(result.body); !problem.empty()) {
        return rejected(std::move(verdict), problem);
    }
    for (size_t i = 0; i < mail.parts.size(); ++i) {
        if (i != found.results.front()) {
            verdict.texts.push_back(keptText(mail.parts[i]));
        }
    }
    verdict.result = std::move(result.body);
    verdict.accepted = true;
    return verdict;
}

}  // namespace vorn
