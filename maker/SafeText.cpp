#include "maker/SafeText.h"

#include <cstdint>
#include <cstdio>

namespace vorn {

namespace {

// Length of the valid UTF-8 sequence at the start of `text` (no overlongs, no
// surrogates, nothing past U+10FFFF), or 0.
size_t utf8Length(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(0);
    size_t length = 0;
    uint32_t low = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, low = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, low = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, low = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    uint32_t code = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < low || code > 0x10FFFF || surrogate ? 0 : length;
}

}  // namespace

std::string printableLine(std::string_view text, size_t limit) {
    const bool cut = text.size() > limit;
    const std::string_view kept = text.substr(0, limit);
    std::string out;
    out.reserve(kept.size());
    for (size_t i = 0; i < kept.size();) {
        const auto c = static_cast<uint8_t>(kept[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += kept[i++];
            continue;
        }
        if (const size_t length = c >= 0x80 ? utf8Length(kept.substr(i)) : 0) {
            out.append(kept.substr(i, length));
            i += length;
            continue;
        }
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        out += escaped;
        ++i;
    }
    if (cut) {
        out += "...";
    }
    return out;
}

namespace {

void appendJsonByte(std::string* out, char c) {
    const auto byte = static_cast<uint8_t>(c);
    if (c == '"' || c == '\\') {
        *out += '\\';
        *out += c;
    } else if (byte < 0x20 || c == '<' || c == '>' || c == '&' || byte == 0x7F) {
        char escaped[7];
        std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
        *out += escaped;
    } else {
        *out += c;
    }
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c < 0x80) {
            appendJsonByte(&out, text[i++]);
            continue;
        }
        const size_t length = utf8Length(text.substr(i));
        out += length != 0 ? text.substr(i, length) : std::string_view("\\uFFFD");
        i += length != 0 ? length : 1;
    }
    return out + '"';
}

}  // namespace vorn
