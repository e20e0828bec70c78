#pragma once

#include <chrono>
#include <string>

#include "base/MakerServers.h"
#include "net/VornHttpGet.h"

namespace vorn {

class I_Dialogs;
class I_NoticeView;

inline constexpr uint64_t kUpdateListMaxBytes = 1u << 20;
inline constexpr uint64_t kLibraryMaxBytes = 256u << 20;

struct UpdateCheckSettings {
    // Every file is fetched from here under "/qkvorn/<name>".
    std::string server = kMakerWebSite;
    // The running program's file version: names the update list and is compared with
    // the newest version the list announces.
    std::string programVersion;
    // Each download keeps the notice up at least this long, so it can be read.
    std::chrono::milliseconds minimumNotice{2000};
    // Size limits: an update list is a few lines, a library a few megabytes; a
    // server sending more is cut off and nothing of it is kept.
    uint64_t listMaxBytes = kUpdateListMaxBytes;
    uint64_t libraryMaxBytes = kLibraryMaxBytes;
    // Time limits and the cancel flag of every transfer (maxBytes is set per file).
    HttpGetSettings http;
};

// The settings of the program itself: the maker's server, the program's version.
UpdateCheckSettings programUpdateSettings();

// The name of the update list a program of `version` fetches: "updates<version>".
std::string updateListName(const std::string& version);

// The address of a file on the server: server + "/qkvorn/<name>".
std::string updateFileUrl(const std::string& server, const std::string& name);

// A file name from the update list may be written in the current folder only when
// it names a library file (ends in ".qkl" or ".wpl", in any case), is made of
// letters, digits, ".", "_" and "-", begins with a letter or digit and holds no "..":
// the list comes from the network and must neither reach other folders nor create
// any other file of the program ("temp.qkt", logs) or look like an option.
bool isSafeLibraryName(const std::string& name);

// One download of at most `maxBytes` with the notice window: `statusText`, or
// "Downloading file: <name>" when none is given. True when the file arrived and
// `check` (when given) took it; a failed or refused download leaves no file. On
// failure `why` (when given) says why.
bool downloadFile(const std::string& name, const char* statusText, I_NoticeView& notice,
                  const UpdateCheckSettings& settings, uint64_t maxBytes,
                  const DownloadCheck& check = {}, std::string* why = nullptr);

// Check Updates: fetches the update list "updates<version>", offers the library files
// missing here, fetches them one by one (each kept only when the library reader takes
// it), announces a newer program version (compared number by number) and reports the
// outcome in information boxes, with "vorninternet.log" as the diagnostic log. The
// list file is gone afterwards. False when anything failed: one box "Error during
// update." followed by the cause was shown, and `why` (when given) holds that cause.
// A list that could not be read says only that, never that nothing is new. A cancel
// (the flag in settings.http) stops at the current transfer and fetches nothing more.
bool checkForUpdates(I_Dialogs& dialogs, I_NoticeView& notice, const UpdateCheckSettings& settings,
                     std::string* why = nullptr);

}  // namespace vorn
