#include "net/UpdateCheck.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <exception>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "base/FileNames.h"
#include "net/DownloadChecks.h"
#include "net/NoticeView.h"
#include "platform/ProgramInfo.h"
#include "results/ReplacementFile.h"

namespace vorn {
namespace {

constexpr const char* kChecking = "Checking for new benchmark data and QK Vorn updates.";
constexpr const char* kUpdateQuestion = "%d new benchmark library files found.  Update now?";
constexpr const char* kUpdated = "Updated benchmark library files downloaded sucessfully.";
constexpr const char* kNothingNew = "No new benchmark library files available.";
constexpr const char* kNewVersion = "There is a new version of QK Vorn available, please go to ";
constexpr const char* kNewVersionEnd = " to download!";
constexpr const char* kUpdateError = "Error during update.";
// Room of the list's lines, without the terminating zero.
constexpr size_t kVersionChars = 127;
constexpr size_t kNameChars = 1023;

// Reads one line of the list, keeping at most `limit` characters and cutting it at
// its first character below the space. The rest of a longer line is dropped with
// it, so its tail never reads as a line of its own. False at the end of the file.
bool readListLine(FILE* list, std::string& line, size_t limit) {
    line.clear();
    int c = std::getc(list);
    if (c == EOF) {
        return false;
    }
    for (; c != EOF && c != '\n'; c = std::getc(list)) {
        if (line.size() < limit) {
            line.push_back(static_cast<char>(c));
        }
    }
    for (size_t i = 0; i < line.size(); ++i) {
        if (static_cast<unsigned char>(line[i]) < ' ') {
            line.resize(i);
            break;
        }
    }
    return true;
}

enum class ListEntry { Skip, Present, Missing };

// What one name line asks for. Unsafe names are skipped, and logged when `report`.
// Anything of that name here (a file, a link, a FIFO) counts as present and is
// never opened: a FIFO would block.
ListEntry classify(const std::string& name, bool report) {
    if (name.empty() || name[0] == ';') {
        return ListEntry::Skip;
    }
    if (!isSafeLibraryName(name)) {
        if (report) {
            logMessage("** Unsafe file name in update list skipped: %s", name.c_str());
        }
        return ListEntry::Skip;
    }
    struct stat info = {};
    return ::lstat(name.c_str(), &info) == 0 ? ListEntry::Present : ListEntry::Missing;
}

// The library files the list names that are missing here, each name once, in the
// order of the list; the newest version from its first line.
std::vector<std::string> missingFiles(FILE* list, std::string& newest) {
    readListLine(list, newest, kVersionChars);
    std::vector<std::string> missing;
    std::set<std::string> seen;
    std::string name;
    while (readListLine(list, name, kNameChars)) {
        if (!seen.insert(name).second) {
            continue;
        }
        if (classify(name, true) == ListEntry::Missing) {
            missing.push_back(name);
        }
    }
    return missing;
}

bool cancelled(const UpdateCheckSettings& settings) {
    return settings.http.cancel != nullptr && settings.http.cancel->load() != 0;
}

// Fetches every missing file, each kept only when the library reader takes it. A
// failure does not stop the others; a cancel does. `why` names the first file that
// was not kept and the reason, and how many more failed.
bool fetchMissing(const std::vector<std::string>& missing, I_NoticeView& notice,
                  const UpdateCheckSettings& settings, std::string& why) {
    size_t failed = 0;
    for (const std::string& name : missing) {
        if (cancelled(settings)) {
            return false;
        }
        std::string failure;
        if (!downloadFile(name, nullptr, notice, settings, settings.libraryMaxBytes, libraryProblem,
                          &failure)) {
            logMessage("** %s was not kept: %s", name.c_str(), failure.c_str());
            if (failed++ == 0) {
                why = name + " was not kept: " + failure + ".";
            }
        }
    }
    if (failed > 1) {
        why += " " + std::to_string(failed - 1) + " more files failed (see vorninternet.log).";
    }
    return failed == 0;
}

std::string questionText(size_t count) {
    char text[128];
    std::snprintf(text, sizeof text, kUpdateQuestion, static_cast<int>(count));
    return text;
}

}  // namespace

UpdateCheckSettings programUpdateSettings() {
    UpdateCheckSettings settings;
    const char* version = platform::programVersion();
    settings.programVersion = version != nullptr ? version : "";
    return settings;
}

std::string updateListName(const std::string& version) {
    return "updates" + version;
}

std::string updateFileUrl(const std::string& server, const std::string& name) {
    std::string base = server;
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    std::string path = kUpdatePath;
    path.replace(path.find("%s"), 2, name);
    return base + path;
}

bool isSafeLibraryName(const std::string& name) {
    if (name.size() < 5 || !std::isalnum(static_cast<unsigned char>(name[0])) ||
        name.find("..") != std::string::npos) {
        return false;
    }
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension != ".qkl" && extension != ".wpl") {
        return false;
    }
    for (const char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

bool downloadFile(const std::string& name, const char* statusText, I_NoticeView& notice,
                  const UpdateCheckSettings& settings, uint64_t maxBytes,
                  const DownloadCheck& check, std::string* why) {
    const auto started = std::chrono::steady_clock::now();
    HttpGetSettings http = settings.http;
    http.maxBytes = maxBytes;
    http.check = check;
    http.progress = [&notice](uint64_t received, uint64_t expected) {
        notice.setProgress(received, expected);
    };
    std::unique_ptr<I_VornHttpGet> get = newVornHttpGet(http);
    notice.setNoticeText(statusText != nullptr ? statusText : "Downloading file: " + name);
    notice.showNotice();
    bool result = false;
    std::string failure = "the HTTP library could not be set up";
    if (get) {
        result = get->fetch(updateFileUrl(settings.server, name), name);
        failure = get->failure();
        get.reset();
    }
    if (why != nullptr) {
        *why = result ? std::string() : failure;
    }
    std::this_thread::sleep_until(started + settings.minimumNotice);
    notice.hideNotice();
    return result;
}

namespace {

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};

// The cause of a list that could not be used, as one sentence: the check's refusals
// are sentences already, a transfer failure is put into one.
std::string listFailure(const std::string& listName, const std::string& failure) {
    if (failure == kNotAnUpdateList || failure == kListWithoutVersion) {
        return failure;
    }
    return "The update list " + listName + " could not be fetched: " + failure + ".";
}

// Offers the missing files and fetches them on Yes; false when one failed.
bool offerMissing(const std::vector<std::string>& missing, I_Dialogs& dialogs, I_NoticeView& notice,
                  const UpdateCheckSettings& settings, std::string& why) {
    if (missing.empty()) {
        dialogs.information(kNothingNew);
        return true;
    }
    if (cancelled(settings) || !dialogs.question(questionText(missing.size()))) {
        return true;
    }
    if (!fetchMissing(missing, notice, settings, why)) {
        return false;
    }
    dialogs.information(kUpdated);
    return true;
}

bool checkWithList(const std::string& listName, I_Dialogs& dialogs, I_NoticeView& notice,
                   const UpdateCheckSettings& settings, std::string& why) {
    std::string failure;
    if (!downloadFile(listName, kChecking, notice, settings, settings.listMaxBytes,
                      updateListProblem, &failure)) {
        why = listFailure(listName, failure);
        return false;
    }
    std::unique_ptr<FILE, FileClose> list(std::fopen(listName.c_str(), "rb"));
    if (!list) {
        why = "The update list " + listName + " does not open.";
        return false;
    }
    std::string newest;
    const std::vector<std::string> missing = missingFiles(list.get(), newest);
    const bool ok = offerMissing(missing, dialogs, notice, settings, why);
    if (compareVersions(newest, settings.programVersion) > 0) {
        dialogs.information(std::string(kNewVersion) + kMakerWebSite + kNewVersionEnd);
    }
    return ok && !cancelled(settings);
}

}  // namespace

bool checkForUpdates(I_Dialogs& dialogs, I_NoticeView& notice, const UpdateCheckSettings& settings,
                     std::string* why) {
    openLog(kInternetLog);
    const std::string listName = updateListName(settings.programVersion);
    // A link, FIFO or device of the list's name is refused by the download and is not
    // ours to remove.
    const bool listWasHere = !nonRegularTarget(listName).empty();
    bool ok = false;
    std::string failure;
    try {
        ok = checkWithList(listName, dialogs, notice, settings, failure);
    } catch (const std::exception& exception) {
        logException("btUpdatesClick", exception);
        failure = exception.what();
    } catch (...) {
        logUnknownException("btUpdatesClick", -1);
        failure = "unexpected failure";
    }
    if (!ok) {
        // One box: the failure and its cause together.
        dialogs.information(failure.empty() ? std::string(kUpdateError)
                                            : std::string(kUpdateError) + " " + failure);
    }
    if (!listWasHere) {
        std::remove(listName.c_str());
    }
    closeLog();
    if (why != nullptr) {
        *why = ok ? std::string() : failure.empty() ? "cancelled" : failure;
    }
    return ok;
}

}  // namespace vorn
