#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// Bundles complete result files into one library file: "VORNLIB" and 0x1A, the
// member count, each member's offset, then the members copied byte for byte. Only
// result files that open and pass their CRC are taken; one that does not stops the
// whole library, each problem named in `problems`. The library is written beside
// `outPath` and renamed over it at the end, so a failure never leaves half a file
// and never touches a library already there.
[[nodiscard]] bool writeLibrary(const std::string& outPath,
                                const std::vector<std::string>& memberPaths,
                                std::vector<std::string>* problems);

// The bytes of a library of complete result files already in memory and checked by the
// caller, in the given order: what writeLibrary would write for them. Empty when there
// are no members or the library would pass 4 GB.
std::string libraryBytes(const std::vector<std::string_view>& members);

}  // namespace vorn
