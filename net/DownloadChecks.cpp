#include "net/DownloadChecks.h"

#include <cctype>
#include <fstream>
#include <iterator>

#include "results/VornLibraryCollection.h"

namespace vorn {
namespace {

// Enough of the start of a file to tell a web page or binary bytes from a list.
constexpr size_t kSniffBytes = 4096;

std::string lowered(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string head(const std::string& path, size_t limit) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes(limit, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<size_t>(file.gcount()));
    return bytes;
}

bool namesHtml(const std::string& contentType) {
    const std::string type = lowered(contentType);
    return type.find("text/html") != std::string::npos ||
           type.find("application/xhtml") != std::string::npos;
}

// Markup at the start (after blanks and a byte-order mark) or a tag a page cannot do
// without: a sign-in page often comes as text/plain or with no type at all.
bool looksLikeHtml(const std::string& start) {
    size_t first = start.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (first < start.size() && std::isspace(static_cast<unsigned char>(start[first]))) {
        ++first;
    }
    if (first < start.size() && start[first] == '<') {
        return true;
    }
    const std::string text = lowered(start);
    return text.find("<html") != std::string::npos || text.find("<body") != std::string::npos;
}

// A list is plain text: tabs and line ends are its only control characters.
bool isBinary(const std::string& bytes) {
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < ' ' && c != '\n' && c != '\r' && c != '\t') || byte == 0x7f) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool isVersionText(const std::string& text) {
    int parts = 0;
    size_t digits = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits > 9) {
                return false;
            }
        } else if (c != '.' || digits == 0) {
            return false;
        } else {
            ++parts;
            digits = 0;
        }
    }
    return digits != 0 && parts < 4;
}

int compareVersions(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() || j < b.size()) {
        unsigned long x = 0;
        unsigned long y = 0;
        for (; i < a.size() && a[i] != '.'; ++i) {
            x = x * 10 + static_cast<unsigned long>(a[i] - '0');
        }
        for (; j < b.size() && b[j] != '.'; ++j) {
            y = y * 10 + static_cast<unsigned long>(b[j] - '0');
        }
        if (x != y) {
            return x < y ? -1 : 1;
        }
        i += i < a.size() ? 1 : 0;
        j += j < b.size() ? 1 : 0;
    }
    return 0;
}

std::string updateListProblem(const std::string& path, const std::string& contentType) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (namesHtml(contentType) || looksLikeHtml(bytes.substr(0, kSniffBytes)) || isBinary(bytes)) {
        return kNotAnUpdateList;
    }
    // The reader cuts a line at its first character below the space; so does this.
    size_t end = 0;
    while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= ' ') {
        ++end;
    }
    return isVersionText(bytes.substr(0, end)) ? std::string() : kListWithoutVersion;
}

std::string libraryProblem(const std::string& path, const std::string& contentType) {
    if (namesHtml(contentType) || looksLikeHtml(head(path, kSniffBytes))) {
        return "it is a web page, not a benchmark library";
    }
    VornLibraryCollection library;
    if (!library.open(path.c_str())) {
        return "it is not a benchmark library (no library header or no sound member)";
    }
    const uint32_t members = library.getMemberCount();
    for (uint32_t index = 0; index < members; ++index) {
        if (!library.selectMember(index)) {
            return "member " + std::to_string(index + 1) + " of " + std::to_string(members) +
                   " is damaged (header or CRC)";
        }
    }
    return {};
}

}  // namespace vorn
