#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

// The files publish keeps in its output folder. A file is written only when its bytes
// differ from what is there (beside it, then renamed over it), so a publish with
// nothing new touches nothing and a server's caches stay valid. What publish wrote is
// listed in a manifest in the folder; only files it lists are ever removed.

namespace vorn {

inline constexpr const char* kManifestName = "publish-manifest.txt";

struct PublishCounts {
    size_t written = 0;
    size_t unchanged = 0;
    size_t removed = 0;
};

// A path publish may name inside its folder: relative, parts of letters, digits, '.',
// '-' and '_' joined by '/', no part empty or starting with '.'. A manifest line that
// is not one is never acted on.
bool isSitePath(const std::string& path);

class SiteFiles {
public:
    explicit SiteFiles(std::string root) : root_(std::move(root)) {}

    // Reads the manifest of the last publish (none is an empty one) and lists the
    // manifest as the old files plus `planned`, so a publish cut short still knows
    // every file it may have written.
    [[nodiscard]] bool begin(const std::set<std::string>& planned, std::string* why);
    // Writes `path` (an isSitePath) unless it holds exactly `bytes` already.
    [[nodiscard]] bool put(const std::string& path, std::string_view bytes, std::string* why);
    // Forces every file put so far to the disk (one syncfs for the whole folder, rather
    // than a flush per file), before a file that names them is put.
    [[nodiscard]] bool sync(std::string* why);
    // Removes the files of the last publish this one did not put, then lists only
    // this publish's files in the manifest.
    [[nodiscard]] bool finish(std::string* why);

    const PublishCounts& counts() const { return counts_; }

private:
    std::string full(const std::string& path) const { return root_ + "/" + path; }
    bool readManifest(std::string* why);
    bool writeManifest(const std::set<std::string>& paths, std::string* why);

    std::string root_;
    std::set<std::string> previous_;  // what the last publish wrote
    std::set<std::string> put_;       // what this one has put
    PublishCounts counts_;
};

// Writes `bytes` to `path` unless it holds exactly them: beside it, then renamed over
// it. *changed tells whether it wrote. With `sync` false the caller syncs later.
[[nodiscard]] bool writeIfChanged(const std::string& path, std::string_view bytes, bool* changed,
                                  std::string* why, bool sync = true);

}  // namespace vorn
