#include "maker/MailMessage.h"

#include <optional>

#include "maker/MimeHeaders.h"
#include "maker/MimeText.h"

namespace vorn {

namespace {

// Room kept for texts that are only ever logged, cut at far less.
constexpr size_t kMaxLoggedText = 4096;
// RFC 2046 allows 70 characters; a little more costs nothing.
constexpr size_t kMaxBoundary = 200;

struct Line {
    size_t start = 0;       // first byte of the line
    size_t next = 0;        // first byte of the line after it
    std::string_view text;  // without its line end
};

Line lineAt(std::string_view text, size_t at) {
    const size_t newline = text.find('\n', at);
    Line line;
    line.start = at;
    line.next = newline == std::string_view::npos ? text.size() : newline + 1;
    line.text = text.substr(at, (newline == std::string_view::npos ? text.size() : newline) - at);
    if (!line.text.empty() && line.text.back() == '\r') {
        line.text.remove_suffix(1);
    }
    return line;
}

bool onlyBlanks(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

enum class Delimiter { none, part, close };

// RFC 2046: "--boundary" alone on its line opens a part, "--boundary--" ends them all;
// blanks may follow either.
Delimiter delimiterOf(std::string_view line, std::string_view boundary) {
    if (line.size() < boundary.size() + 2 || line.substr(0, 2) != "--" ||
        line.substr(2, boundary.size()) != boundary) {
        return Delimiter::none;
    }
    const std::string_view rest = line.substr(boundary.size() + 2);
    if (rest.substr(0, 2) == "--" && onlyBlanks(rest.substr(2))) {
        return Delimiter::close;
    }
    return onlyBlanks(rest) ? Delimiter::part : Delimiter::none;
}

// Where a part ends that a delimiter line at `start` follows: the line break before
// the delimiter belongs to the delimiter.
size_t partEnd(std::string_view body, size_t start) {
    size_t end = start;
    if (end > 0 && body[end - 1] == '\n') {
        --end;
        if (end > 0 && body[end - 1] == '\r') {
            --end;
        }
    }
    return end;
}

// The parts of a multipart body, preamble and epilogue left out; a body whose close
// delimiter is missing ends its last part at its own end. At most `limit` parts.
std::vector<std::string_view> splitMultipart(std::string_view body, std::string_view boundary,
                                             size_t limit) {
    std::vector<std::string_view> parts;
    std::optional<size_t> open;  // where the current part's content starts
    for (size_t at = 0; at < body.size() && parts.size() < limit;) {
        const Line line = lineAt(body, at);
        at = line.next;
        const Delimiter kind = delimiterOf(line.text, boundary);
        if (kind == Delimiter::none) {
            continue;
        }
        if (open) {
            const size_t end = std::max(partEnd(body, line.start), *open);
            parts.push_back(body.substr(*open, end - *open));
        }
        open = line.next;
        if (kind == Delimiter::close) {
            return parts;
        }
    }
    if (open && parts.size() < limit) {
        parts.push_back(body.substr(*open));
    }
    return parts;
}

std::string decodeBody(std::string_view body, const std::string* encoding) {
    const std::string kind = encoding ? parseHeaderValue(*encoding).token : "";
    if (kind == "base64") {
        return decodeBase64(body);
    }
    if (kind == "quoted-printable") {
        return decodeQuotedPrintable(body);
    }
    // 7bit, 8bit, binary, and what is not known: the bytes as they came.
    return std::string(body);
}

std::string fileNameOf(const HeaderValue& disposition, const HeaderValue& type) {
    std::optional<std::string> name = parameterValue(disposition, "filename");
    if (!name) {
        name = parameterValue(type, "name");
    }
    return name ? decodeEncodedWords(std::string_view(*name).substr(0, kMaxLoggedText)) : "";
}

MailPart leafPart(const HeaderBlock& headers, const HeaderValue& type, std::string_view body) {
    MailPart part;
    if (!type.token.empty()) {
        part.contentType = type.token;
    }
    const std::string* dispositionText = findField(headers, "content-disposition");
    const HeaderValue disposition = parseHeaderValue(dispositionText ? *dispositionText : "");
    part.disposition = disposition.token;
    part.fileName = fileNameOf(disposition, type);
    part.body = decodeBody(body, findField(headers, "content-transfer-encoding"));
    return part;
}

MailProblem addEntity(const HeaderBlock& headers, std::string_view body, int depth,
                      std::vector<MailPart>& parts);

MailProblem addMultipart(const HeaderValue& type, std::string_view body, int depth,
                         std::vector<MailPart>& parts) {
    if (depth >= kMaxMultipartDepth) {
        return MailProblem::tooDeep;
    }
    const std::optional<std::string> boundary = parameterValue(type, "boundary");
    if (!boundary || boundary->empty() || boundary->size() > kMaxBoundary) {
        return MailProblem::noBoundary;
    }
    // One part more than allowed is enough to tell that there are too many.
    for (const std::string_view section : splitMultipart(body, *boundary, kMaxMailParts + 1)) {
        const std::optional<HeaderBlock> headers = readHeaderBlock(section);
        if (!headers) {
            return MailProblem::badHeader;
        }
        const MailProblem problem =
            addEntity(*headers, section.substr(headers->bodyStart), depth + 1, parts);
        if (problem != MailProblem::none) {
            return problem;
        }
    }
    return MailProblem::none;
}

MailProblem addEntity(const HeaderBlock& headers, std::string_view body, int depth,
                      std::vector<MailPart>& parts) {
    const std::string* typeText = findField(headers, "content-type");
    const HeaderValue type = parseHeaderValue(typeText ? *typeText : "");
    if (type.token.rfind("multipart/", 0) == 0) {
        return addMultipart(type, body, depth, parts);
    }
    if (parts.size() >= kMaxMailParts) {
        return MailProblem::tooManyParts;
    }
    parts.push_back(leafPart(headers, type, body));
    return MailProblem::none;
}

}  // namespace

MailMessage parseMailMessage(std::string_view bytes) {
    MailMessage message;
    if (bytes.size() > kMaxMessageBytes) {
        message.problem = MailProblem::tooLarge;
        return message;
    }
    const std::optional<HeaderBlock> headers = readHeaderBlock(bytes);
    if (!headers || headers->fields.empty() ||
        (!findField(*headers, "mime-version") && !findField(*headers, "content-type"))) {
        message.problem = MailProblem::notMime;
        return message;
    }
    if (const std::string* subject = findField(*headers, "subject")) {
        message.subject = decodeEncodedWords(std::string_view(*subject).substr(0, kMaxLoggedText));
    }
    message.problem = addEntity(*headers, bytes.substr(headers->bodyStart), 0, message.parts);
    return message;
}

const char* mailProblemText(MailProblem problem) {
    switch (problem) {
        case MailProblem::none:
            return "no problem";
        case MailProblem::tooLarge:
            return "the message is larger than 32 MiB";
        case MailProblem::notMime:
            return "not a MIME message";
        case MailProblem::badHeader:
            return "a part's header does not read";
        case MailProblem::noBoundary:
            return "a multipart without a usable boundary";
        case MailProblem::tooManyParts:
            return "more than 64 parts";
        case MailProblem::tooDeep:
            return "multiparts nested more than 8 deep";
    }
    return "unknown problem";
}

}  // namespace vorn
