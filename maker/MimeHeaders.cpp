#include "maker/MimeHeaders.h"

#include <algorithm>

#include "maker/MimeText.h"

namespace vorn {

namespace {

// Continuation sections looked for: more than any real name needs.
constexpr int kMaxSections = 32;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (isBlank(text.front()) || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// A field name is printable ASCII without ':' or blanks (RFC 5322 ftext).
bool isFieldName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(),
                                        [](char c) { return c > ' ' && c < 0x7F && c != ':'; });
}

// The next line of `text` from `at` without its line end; `next` is where the one
// after it starts.
std::string_view lineAt(std::string_view text, size_t at, size_t* next) {
    const size_t newline = text.find('\n', at);
    const size_t end = newline == std::string_view::npos ? text.size() : newline;
    *next = newline == std::string_view::npos ? text.size() : newline + 1;
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// One line of the block into `block`; false when it is no field and no continuation.
bool addLine(std::string_view line, HeaderBlock& block) {
    if (isBlank(line.front())) {
        if (block.fields.empty()) {
            return false;
        }
        block.fields.back().value += line;
        return true;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isFieldName(line.substr(0, colon)) ||
        block.fields.size() >= kMaxHeaderFields) {
        return false;
    }
    block.fields.push_back({lowered(line.substr(0, colon)), std::string(line.substr(colon + 1))});
    return true;
}

// A quoted string starting after its opening quote at text[*at]; *at ends past it.
std::string quotedString(std::string_view text, size_t* at) {
    std::string out;
    size_t i = *at;
    for (; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
        }
        out += text[i];
    }
    *at = i < text.size() ? i + 1 : i;
    return out;
}

// One "name=value" at text[*at]; *at ends after it.
std::pair<std::string, std::string> parameterAt(std::string_view text, size_t* at) {
    const size_t end = std::min(text.find_first_of("=;", *at), text.size());
    std::string name = lowered(trimmed(text.substr(*at, end - *at)));
    *at = end;
    if (end == text.size() || text[end] == ';') {
        return {name, ""};
    }
    size_t i = end + 1;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    if (i < text.size() && text[i] == '"') {
        *at = i + 1;
        std::string value = quotedString(text, at);
        return {name, value};
    }
    const size_t valueEnd = std::min(text.find(';', i), text.size());
    *at = valueEnd;
    return {name, std::string(trimmed(text.substr(i, valueEnd - i)))};
}

const std::string* parameterNamed(const HeaderValue& value, const std::string& name) {
    for (const auto& [key, text] : value.parameters) {
        if (key == name) {
            return &text;
        }
    }
    return nullptr;
}

// An RFC 2231 value "charset'language'percent-encoded": the decoded bytes.
std::string extendedValue(std::string_view text) {
    const size_t first = text.find('\'');
    const size_t second = first == std::string_view::npos ? first : text.find('\'', first + 1);
    return decodePercent(second == std::string_view::npos ? text : text.substr(second + 1));
}

// "name*0", "name*1*", ... joined in order, up to the first missing section.
std::optional<std::string> sections(const HeaderValue& value, const std::string& name) {
    std::optional<std::string> joined;
    for (int i = 0; i < kMaxSections; ++i) {
        const std::string key = name + "*" + std::to_string(i);
        if (const std::string* plain = parameterNamed(value, key)) {
            joined = joined.value_or("") + *plain;
        } else if (const std::string* encoded = parameterNamed(value, key + "*")) {
            joined =
                joined.value_or("") + (i == 0 ? extendedValue(*encoded) : decodePercent(*encoded));
        } else {
            break;
        }
    }
    return joined;
}

}  // namespace

std::optional<HeaderBlock> readHeaderBlock(std::string_view text) {
    HeaderBlock block;
    size_t at = 0;
    while (at < text.size()) {
        size_t next = 0;
        const std::string_view line = lineAt(text, at, &next);
        if (next > kMaxHeaderBytes) {
            return std::nullopt;
        }
        at = next;
        if (line.empty()) {
            break;
        }
        if (!addLine(line, block)) {
            return std::nullopt;
        }
    }
    for (HeaderField& field : block.fields) {
        field.value = std::string(trimmed(field.value));
    }
    block.bodyStart = at;
    return block;
}

const std::string* findField(const HeaderBlock& block, std::string_view name) {
    for (const HeaderField& field : block.fields) {
        if (field.name == name) {
            return &field.value;
        }
    }
    return nullptr;
}

HeaderValue parseHeaderValue(std::string_view text) {
    HeaderValue value;
    size_t at = std::min(text.find(';'), text.size());
    value.token = lowered(trimmed(text.substr(0, at)));
    while (at < text.size() && value.parameters.size() < kMaxParameters) {
        ++at;  // past the ';'
        auto parameter = parameterAt(text, &at);
        if (!parameter.first.empty()) {
            value.parameters.push_back(std::move(parameter));
        }
        at = std::min(text.find(';', at), text.size());
    }
    return value;
}

std::optional<std::string> parameterValue(const HeaderValue& value, const std::string& name) {
    if (const std::string* extended = parameterNamed(value, name + "*")) {
        return extendedValue(*extended);
    }
    if (auto joined = sections(value, name)) {
        return joined;
    }
    if (const std::string* plain = parameterNamed(value, name)) {
        return *plain;
    }
    return std::nullopt;
}

}  // namespace vorn
