#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vorn {

// printf-style text into a std::string, as long as it needs to be.
template <typename... Args>
std::string formatted(const char* format, Args... args) {
    char text[160];
    const int length = std::snprintf(text, sizeof text, format, args...);
    if (length < 0) {
        return {};
    }
    if (static_cast<size_t>(length) < sizeof text) {
        return std::string(text, static_cast<size_t>(length));
    }
    std::string longer(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(longer.data(), longer.size(), format, args...);
    longer.resize(static_cast<size_t>(length));
    return longer;
}

// `text` for HTML or SVG element content and quoted attribute values: & < > " ' as
// entities.
std::string escapeHtml(std::string_view text);

}  // namespace vorn
