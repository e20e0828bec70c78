#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// What the maker makes of one uploaded message: a result to file, or the reason why
// not. Pure work on the message's bytes; nothing from it ever names a path.

// A result file is a few kilobytes; anything near this is no upload of the program.
inline constexpr size_t kMaxResultBytes = 4u << 20;
// Each other part is kept as text up to this many of its bytes.
inline constexpr size_t kMaxKeptTextBytes = 64u << 10;

// A part of the message other than the result, kept as printable text.
struct KeptText {
    std::string name;  // the part's file name made printable, or "(message text)"
    std::string text;  // its lines, each made printable, joined with '\n'
    size_t bytes = 0;  // the part's whole decoded size
    bool cut = false;  // only the first kMaxKeptTextBytes are in `text`
};

struct UploadVerdict {
    bool accepted = false;
    std::string reason;      // why it was rejected: one printable line
    std::string result;      // the result file's bytes (accepted only)
    std::string resultName;  // the name the result came under, printable
    std::string subject;     // the subject, printable
    std::vector<KeptText> texts;
};

// Finds the result by its content (the result file's header), never by its name.
// Accepted only with exactly one result, no library, and that result whole and sound.
UploadVerdict judgeUpload(std::string_view message);

// Why `bytes` (which begin with the result file's magic) are no sound result, or
// nothing: over the size limit, truncated, longer than their header says, a CRC that
// does not match, or no drive identification among the entries.
std::string resultProblem(std::string_view bytes);

}  // namespace vorn
