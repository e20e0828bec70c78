#include "maker/MimeText.h"

#include <cstdint>

namespace vorn {

namespace {

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The byte of "XX" at text[at], or -1.
int hexByte(std::string_view text, size_t at) {
    if (at + 1 >= text.size()) {
        return -1;
    }
    const int high = hexValue(text[at]);
    const int low = hexValue(text[at + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// One line of quoted-printable text without its line end; false when it ends in a
// soft break, so no line end follows it.
bool decodeQpLine(std::string_view line, std::string& out) {
    while (!line.empty() && isBlank(line.back())) {
        line.remove_suffix(1);
    }
    const bool soft = !line.empty() && line.back() == '=';
    if (soft) {
        line.remove_suffix(1);
    }
    for (size_t i = 0; i < line.size(); ++i) {
        const int byte = line[i] == '=' ? hexByte(line, i + 1) : -1;
        if (byte >= 0) {
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += line[i];
        }
    }
    return !soft;
}

// The decoded bytes of one encoded word's text in encoding 'B' or 'Q'.
std::string decodeWord(char encoding, std::string_view text) {
    if (encoding == 'B' || encoding == 'b') {
        return decodeBase64(text);
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const int byte = text[i] == '=' ? hexByte(text, i + 1) : -1;
        if (byte >= 0) {
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += text[i] == '_' ? ' ' : text[i];
        }
    }
    return out;
}

// An encoded word is at most 75 characters; looking no further keeps the work linear
// in the text whatever it holds.
constexpr size_t kWordWindow = 128;

// An encoded word at text[at] ("=?charset?E?text?="): its length, 0 when none.
size_t encodedWordAt(std::string_view whole, size_t at, std::string& decoded) {
    const std::string_view text = whole.substr(0, at + kWordWindow);
    if (text.substr(at, 2) != "=?") {
        return 0;
    }
    const size_t charsetEnd = text.find('?', at + 2);
    if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() ||
        text[charsetEnd + 2] != '?') {
        return 0;
    }
    const char encoding = text[charsetEnd + 1];
    const size_t end = text.find("?=", charsetEnd + 3);
    if (end == std::string_view::npos ||
        (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q')) {
        return 0;
    }
    decoded = decodeWord(encoding, text.substr(charsetEnd + 3, end - charsetEnd - 3));
    return end + 2 - at;
}

}  // namespace

std::string decodeBase64(std::string_view text) {
    std::string out;
    out.reserve(text.size() / 4 * 3 + 3);
    uint32_t bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const int value = base64Value(c);
        if (value < 0) {
            continue;
        }
        bits = (bits << 6) | static_cast<uint32_t>(value);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    // Two characters hold one byte, three hold two; one alone holds none.
    if (count == 2) {
        out += static_cast<char>(bits >> 4);
    } else if (count == 3) {
        out += static_cast<char>(bits >> 10);
        out += static_cast<char>(bits >> 2);
    }
    return out;
}

std::string decodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const size_t newline = text.find('\n', at);
        const size_t end = newline == std::string_view::npos ? text.size() : newline;
        std::string_view line = text.substr(at, end - at);
        const bool crlf = !line.empty() && line.back() == '\r';
        if (crlf) {
            line.remove_suffix(1);
        }
        if (decodeQpLine(line, out) && newline != std::string_view::npos) {
            out += crlf ? "\r\n" : "\n";
        }
        at = end + 1;
    }
    return out;
}

std::string decodePercent(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const int byte = text[i] == '%' ? hexByte(text, i + 1) : -1;
        if (byte >= 0) {
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string decodeEncodedWords(std::string_view text) {
    std::string out;
    size_t at = 0;
    size_t lastWordEnd = std::string_view::npos;
    while (at < text.size()) {
        std::string decoded;
        if (const size_t length = encodedWordAt(text, at, decoded)) {
            // Only blanks since the previous word: they belong to the encoding.
            if (lastWordEnd != std::string_view::npos &&
                text.substr(lastWordEnd, at - lastWordEnd).find_first_not_of(" \t\r\n") ==
                    std::string_view::npos) {
                out.resize(out.size() - (at - lastWordEnd));
            }
            out += decoded;
            at += length;
            lastWordEnd = at;
            continue;
        }
        out += text[at++];
    }
    return out;
}

}  // namespace vorn
