#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace vorn::cli {

// Members keep the order they were added in, as scripts have always read them.
using Json = nlohmann::ordered_json;

// The layout this program's JSON has always had, which nlohmann's dump() cannot
// give: one line, ", " between items and ": " after keys; strings escaped byte by
// byte (anything but printable ASCII as \u00XX, so no byte is refused); a
// fractional number that is a single-precision value as its shortest float text.
std::string jsonText(const Json& value);

// `object`'s text left open at a last member `key` holding an array, for an answer
// whose array is printed item by item rather than held whole.
std::string jsonOpenArray(const Json& object, const char* key);

// The value's text and a newline on stdout.
void printJson(const Json& value);

}  // namespace vorn::cli
