#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "maker/ResultScan.h"
#include "net/UpdateCheck.h"

// The library files publish offers and the update list that names them. A client
// fetches only the libraries it does not hold by name, so a library's name carries a
// hash of its members: a group that gains or loses a result gets a new name, and an
// unchanged group makes the identical file under the identical name.

namespace vorn {

struct LibraryPlan {
    std::string name;                             // "USB-2026-1A2B3C4D5E6F.QKL"
    std::vector<const PublishedResult*> members;  // by content name
};

// The results grouped by kind of medium and year of test, each group's members in
// content-name order; a group whose library would pass `maxBytes` (what a client
// accepts) is cut into several, each under a name of its own. Sorted by name.
std::vector<LibraryPlan> planLibraries(const std::vector<PublishedResult>& results,
                                       uint64_t maxBytes = kLibraryMaxBytes);

// The library file of a plan: its members byte for byte.
std::string libraryFileBytes(const LibraryPlan& plan);

// The update list: the newest program version, then one library name per line, in
// order. Nothing in it changes unless a library or the version does.
std::string updateListText(const std::string& version, const std::vector<LibraryPlan>& libraries);

}  // namespace vorn
