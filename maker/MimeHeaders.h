#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorn {

// The header block of a mail message or of one part of it.

// Bounds on what one header block may hold; a block past them is refused whole.
inline constexpr size_t kMaxHeaderBytes = 256u << 10;
inline constexpr size_t kMaxHeaderFields = 1000;
inline constexpr size_t kMaxParameters = 64;

struct HeaderField {
    std::string name;   // lower case
    std::string value;  // unfolded, without leading and trailing blanks
};

struct HeaderBlock {
    std::vector<HeaderField> fields;
    size_t bodyStart = 0;  // offset of the body: just past the empty line, or the end
};

// The header block at the start of `text`: fields up to the first empty line, with
// LF or CRLF line ends and folded lines joined. Nothing when a line is neither a field
// ("Name: value") nor the continuation of one, or the block is past the bounds.
std::optional<HeaderBlock> readHeaderBlock(std::string_view text);

// The value of the first field called `name` (lower case), or nullptr.
const std::string* findField(const HeaderBlock& block, std::string_view name);

// A structured value such as a Content-Type: "type/subtype; name=value; name="q \" s"".
struct HeaderValue {
    std::string token;  // before the first ';', lower case
    std::vector<std::pair<std::string, std::string>> parameters;  // names in lower case
};

HeaderValue parseHeaderValue(std::string_view text);

// A parameter's value by name (lower case) in any of its forms: RFC 2231 extended
// ("name*=UTF-8''a%20b"), RFC 2231 continuations ("name*0*=", "name*1="), plain.
std::optional<std::string> parameterValue(const HeaderValue& value, const std::string& name);

}  // namespace vorn
