#include "cli/JsonOut.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "cli/CliSupport.h"

namespace vorn::cli {
namespace {

void appendValue(std::string& out, const Json& value);

void appendString(std::string& out, const std::string& text) {
    out += '"';
    out += jsonEscaped(text);
    out += '"';
}

// The shortest text that reads back as the same number: as a float when the value
// is one (the chart's MB/s are), else as a double. JSON has no NaN or infinity.
void appendFloat(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    const auto single = static_cast<float>(value);
    const auto end = static_cast<double>(single) == value
                         ? std::to_chars(text, text + sizeof text, single).ptr
                         : std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

void appendObject(std::string& out, const Json& object) {
    out += '{';
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it != object.begin()) {
            out += ", ";
        }
        appendString(out, it.key());
        out += ": ";
        appendValue(out, it.value());
    }
    out += '}';
}

void appendArray(std::string& out, const Json& array) {
    out += '[';
    for (auto it = array.begin(); it != array.end(); ++it) {
        if (it != array.begin()) {
            out += ", ";
        }
        appendValue(out, *it);
    }
    out += ']';
}

void appendValue(std::string& out, const Json& value) {
    switch (value.type()) {
        case Json::value_t::object:
            return appendObject(out, value);
        case Json::value_t::array:
            return appendArray(out, value);
        case Json::value_t::string:
            return appendString(out, value.get_ref<const std::string&>());
        case Json::value_t::boolean:
            out += value.get<bool>() ? "true" : "false";
            return;
        case Json::value_t::number_integer:
            out += std::to_string(value.get<int64_t>());
            return;
        case Json::value_t::number_unsigned:
            out += std::to_string(value.get<uint64_t>());
            return;
        case Json::value_t::number_float:
            return appendFloat(out, value.get<double>());
        case Json::value_t::null:
        case Json::value_t::binary:
        case Json::value_t::discarded:
            break;
    }
    out += "null";
}

}  // namespace

std::string jsonText(const Json& value) {
    std::string out;
    appendValue(out, value);
    return out;
}

std::string jsonOpenArray(const Json& object, const char* key) {
    std::string out = jsonText(object);
    out.pop_back();  // the closing brace
    out += object.empty() ? "\"" : ", \"";
    out += jsonEscaped(key);
    out += "\": [";
    return out;
}

void printJson(const Json& value) {
    std::printf("%s\n", jsonText(value).c_str());
}

}  // namespace vorn::cli
