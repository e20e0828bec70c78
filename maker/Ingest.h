#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// The maker's side receiving uploads: every whole message in MAILDIR/new is judged
// (maker/UploadVerdict). An accepted result is filed as RESULTS/<name>.qkc, named by
// its content, with the other parts as bounded text in RESULTS/<name>.logs.txt, and
// the message moves to cur/; a rejected message moves to the ".Rejected" folder. Each
// message gets one line in RESULTS/ingest.log. A message moves only after its result
// is safely on disk, so a crash in between repeats the same work next time.

struct IngestReport {
    size_t accepted = 0;
    size_t duplicates = 0;  // accepted, and the same result was already filed
    size_t rejected = 0;
    std::vector<std::string> failures;  // what could not be read or written
};

// Looks at each message once; `say` gets each line as it goes to the log.
IngestReport ingestMaildir(const std::string& maildir, const std::string& results,
                           const std::function<void(const std::string&)>& say);

// "N accepted, D duplicates, R rejected".
std::string ingestSummary(const IngestReport& report);

// The name a result is filed under: the first 32 hex digits of its SHA-256.
std::string contentName(std::string_view result);

}  // namespace vorn
