#pragma once

#include <string>
#include <string_view>

namespace vorn {

// The byte encodings of a mail message, decoded leniently: a mail that bent a rule
// still reads, and damage shows later in the checks of what was decoded. Each works
// in one pass over its input and never makes more bytes than it was given.

// Base64 (RFC 2045): characters outside the alphabet (line breaks) are passed over,
// the first '=' ends the data, and an incomplete last group gives what bytes it holds.
std::string decodeBase64(std::string_view text);

// Quoted-printable (RFC 2045): "=XX" is a byte, '=' at a line's end joins the lines,
// blanks at a line's end are dropped; an '=' that is neither stays as it is. Line
// ends come out as they went in.
std::string decodeQuotedPrintable(std::string_view text);

// "%XX" as a byte, as the values of RFC 2231 parameters carry them.
std::string decodePercent(std::string_view text);

// RFC 2047 encoded words ("=?UTF-8?B?...?=", "=?...?Q?...?=") replaced by their bytes,
// blanks between two such words dropped. The charset is not converted: the log that
// shows the text makes every byte printable anyway.
std::string decodeEncodedWords(std::string_view text);

}  // namespace vorn
