#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// A mail message taken apart: its subject and its leaf parts, decoded. Pure work on
// bytes, bounded in time and memory by the limits below; it never throws (short of
// running out of memory) and reads nothing outside the bytes it is given.

inline constexpr size_t kMaxMessageBytes = 32u << 20;
inline constexpr size_t kMaxMailParts = 64;
inline constexpr int kMaxMultipartDepth = 8;

struct MailPart {
    std::string contentType = "text/plain";  // lower case, as RFC 2045 defaults it
    std::string disposition;                 // "attachment", "inline" or empty; lower case
    // Only ever logged: taken from filename*= / filename= of the disposition, else from
    // name*= / name= of the type, encoded words decoded. Empty when there is none.
    std::string fileName;
    std::string body;  // the decoded bytes
};

enum class MailProblem {
    none,
    tooLarge,      // over kMaxMessageBytes
    notMime,       // no header block, or no MIME-Version and no Content-Type
    badHeader,     // a part's header block that does not read
    noBoundary,    // a multipart without its boundary parameter
    tooManyParts,  // over kMaxMailParts leaf parts
    tooDeep,       // multiparts nested deeper than kMaxMultipartDepth
};

struct MailMessage {
    MailProblem problem = MailProblem::none;
    std::string subject;          // encoded words decoded; not yet made printable
    std::vector<MailPart> parts;  // the leaf parts in their order in the message
};

MailMessage parseMailMessage(std::string_view bytes);

// The problem in a few words, for the log: "not a MIME message", ...
const char* mailProblemText(MailProblem problem);

}  // namespace vorn
