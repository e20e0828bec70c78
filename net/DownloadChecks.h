#pragma once

#include <string>

namespace vorn {

// What every download is checked for before it is kept. Each check answers why the
// file is refused, or nothing when it is what it claims to be.

// A captive portal's sign-in page or a binary answer where the update list belongs.
inline constexpr const char* kNotAnUpdateList =
    "The update server answered with a web page, not an update list (a network sign-in page?).";
// A text answer whose first line is no version number.
inline constexpr const char* kListWithoutVersion =
    "The update server's list does not begin with a version number.";

// A version of the program's form: one to four whole numbers joined by dots
// ("1.0.0.10"), each of at most nine digits.
bool isVersionText(const std::string& text);

// Orders two versions number by number, a missing part counting as 0, so that
// 1.0.0.10 is newer than 1.0.0.9. Below zero when `a` is older, zero when equal.
int compareVersions(const std::string& a, const std::string& b);

// The update list: text, not a web page (by its type or its content), its first
// line a version. Answers kNotAnUpdateList or kListWithoutVersion when refused.
std::string updateListProblem(const std::string& path, const std::string& contentType);

// A library file: not a web page, and the library reader's own checks hold (its
// header, and every member's header and CRC).
std::string libraryProblem(const std::string& path, const std::string& contentType);

}  // namespace vorn
