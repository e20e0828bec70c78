#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vorn {

// The few Maildir operations the maker needs. A mail server writes a message into
// tmp/ and renames it into new/ when whole, so new/ holds only whole messages and tmp/
// is never touched. A message seen moves to cur/ with the info ":2,S".

// The names of the regular files in MAILDIR/new, sorted; dot files and anything else
// (folders, links) left out. False with `why` when new/ cannot be listed.
[[nodiscard]] bool listNewMessages(const std::string& maildir, std::vector<std::string>* names,
                                   std::string* why);

// Up to `limit` bytes of a file (a regular file, not followed through a
// link); a longer file gives its first limit + 1 bytes, so the caller sees that it is
// too long without reading it whole. False with `why` when it cannot be read.
[[nodiscard]] bool readBounded(const std::string& path, size_t limit, std::string* bytes,
                               std::string* why);

// The name a message gets in cur/: its unique part with the info ":2,S" (seen).
std::string seenName(const std::string& name);

// Moves new/NAME to cur/ under its seen name.
[[nodiscard]] bool markSeen(const std::string& maildir, const std::string& name, std::string* why);

// Moves new/NAME into the Maildir++ folder ".Rejected" (its cur/, as seen), making
// the folder with tmp/, new/ and cur/ when it is missing.
[[nodiscard]] bool moveToRejected(const std::string& maildir, const std::string& name,
                                  std::string* why);

}  // namespace vorn
