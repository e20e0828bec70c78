#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "base/TextFormat.h"  // escapeHtml

namespace vorn {

// Text that came from an upload, made safe for the place it goes. Nothing from a
// sender is written anywhere without one of these.

// `text` as one printable line: valid UTF-8 kept, every control character, DEL and
// byte that is not UTF-8 written as \xNN, cut after `limit` bytes of input with "...".
std::string printableLine(std::string_view text, size_t limit = 200);

// `text` as a quoted JSON string that is also safe inside an HTML page or script: " and
// \ escaped, controls and < > & as \u00XX (so no "</script" or "<!--" can form), every
// byte that is not UTF-8 as U+FFFD.
std::string jsonString(std::string_view text);

}  // namespace vorn
