#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "maker/SiteFiles.h"
#include "net/UpdateCheck.h"

// publish: the maker's folder of checked results out as library files, the update list
// and the static results site, all in one folder a web server serves as the update
// path. Files are rewritten only when they change; files an earlier publish wrote and
// this one does not are removed.

namespace vorn {

struct PublishRequest {
    std::string resultsFolder;
    std::string siteFolder;
    // The newest program version: the update list's name and first line.
    std::string version;
    uint64_t libraryMaxBytes = kLibraryMaxBytes;
};

struct PublishReport {
    size_t results = 0;
    size_t libraries = 0;
    std::vector<std::string> skipped;  // "<file>: why" for each result left out
    PublishCounts files;
    std::string failure;  // why publish stopped; empty on success
};

// False when publish could not finish (the results folder cannot be listed, a file
// cannot be written or removed); a result that does not read is skipped, not a failure.
[[nodiscard]] bool publishSite(const PublishRequest& request, PublishReport* report);

}  // namespace vorn
