#pragma once

#include <chrono>
#include <string>

#include "app/MakerServers.h"
#include "net/VornHttpGet.h"

namespace vorn {

class I_Dialogs;
class I_NoticeView;

struct UpdateCheckSettings {
    // Every file is fetched from here under "/qkvorn/<name>".
    std::string server = kMakerWebSite;
    // The running program's file version: names the update list and is compared with
    // the newest version the list announces.
    std::string programVersion;
    // Each download keeps the notice up at least this long, so it can be read.
    std::chrono::milliseconds minimumNotice{2000};
    HttpGetSettings http;
};

// The settings of the program itself: the maker's server, the program's version.
UpdateCheckSettings programUpdateSettings();

// The address of a file on the server: server + "/qkvorn/<name>".
std::string updateFileUrl(const std::string& server, const std::string& name);

// A file name from the update list may be written in the current folder only when
// it is made of letters, digits, ".", "_" and "-", does not begin with "." and holds
// no "..": the list comes from the network and must not reach other folders.
bool isSafeLibraryName(const std::string& name);

// One download with the notice window: `statusText`, or "Downloading file: <name>"
// when none is given. True when the file arrived; a failed download leaves no file.
bool downloadFile(const std::string& name, const char* statusText, I_NoticeView& notice,
                  const UpdateCheckSettings& settings);

// Check Updates: fetches the update list "updates<version>", offers the library files
// missing here, fetches them one by one, announces a newer program version and
// reports the outcome in information boxes, with "vorninternet.log" as the diagnostic
// log. The list file is gone afterwards. False when anything failed ("Error during
// update." was shown).
bool checkForUpdates(I_Dialogs& dialogs, I_NoticeView& notice, const UpdateCheckSettings& settings);

}  // namespace vorn
