#include "net/UpdateCheck.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "app/DiagLog.h"
#include "app/Dialogs.h"
#include "net/NoticeView.h"

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
    if (FILE* local = std::fopen(name.c_str(), "rb")) {
        std::fclose(local);
        return ListEntry::Present;
    }
    return ListEntry::Missing;
}

// First pass: the newest version, and how many library files are missing here.
int countMissing(FILE* list, std::string& newest) {
    readListLine(list, newest, kVersionChars);
    int count = 0;
    std::string name;
    while (readListLine(list, name, kNameChars)) {
        if (classify(name, true) == ListEntry::Missing) {
            ++count;
        }
    }
    return count;
}

// Second pass: fetches every missing file. A failure does not stop the others.
bool fetchMissing(FILE* list, std::string& newest, I_NoticeView& notice,
                  const UpdateCheckSettings& settings) {
    std::rewind(list);
    readListLine(list, newest, kVersionChars);
    bool ok = true;
    std::string name;
    while (readListLine(list, name, kNameChars)) {
        if (classify(name, false) == ListEntry::Missing) {
            ok = downloadFile(name, nullptr, notice, settings) && ok;
        }
    }
    return ok;
}

std::string questionText(int count) {
    char text[128];
    std::snprintf(text, sizeof text, kUpdateQuestion, count);
    return text;
}

}  // namespace

UpdateCheckSettings programUpdateSettings() {
    UpdateCheckSettings settings;
    const char* version = fileVersion("qkvorn.exe");
    settings.programVersion = version != nullptr ? version : "";
    return settings;
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
    if (name.empty() || name[0] == '.' || name.find("..") != std::string::npos) {
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
                  const UpdateCheckSettings& settings) {
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<I_VornHttpGet> get = newVornHttpGet(settings.http);
    notice.setNoticeText(statusText != nullptr ? statusText : "Downloading file: " + name);
    notice.showNotice();
    bool result = false;
    if (get) {
        get->start(updateFileUrl(settings.server, name), name);
        waitWithNotice(notice, [&get] { return get->isDone(); });
        result = get->succeeded();
        get.reset();
    }
    waitWithNotice(notice, [&] {
        return std::chrono::steady_clock::now() - started >= settings.minimumNotice;
    });
    notice.hideNotice();
    return result;
}

namespace {

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};

bool checkWithList(const std::string& listName, I_Dialogs& dialogs, I_NoticeView& notice,
                   const UpdateCheckSettings& settings) {
    std::string newest;
    bool ok = downloadFile(listName, kChecking, notice, settings);
    std::unique_ptr<FILE, FileClose> list(ok ? std::fopen(listName.c_str(), "rb") : nullptr);
    ok = ok && list != nullptr;
    const int count = list ? countMissing(list.get(), newest) : 0;
    if (count > 0) {
        if (dialogs.question(questionText(count))) {
            ok = fetchMissing(list.get(), newest, notice, settings) && ok;
            if (ok) {
                dialogs.information(kUpdated);
            }
        }
    } else {
        dialogs.information(kNothingNew);
    }
    if (std::strcmp(newest.c_str(), settings.programVersion.c_str()) > 0) {
        dialogs.information(std::string(kNewVersion) + kMakerWebSite + kNewVersionEnd);
    }
    return ok;
}

}  // namespace

bool checkForUpdates(I_Dialogs& dialogs, I_NoticeView& notice,
                     const UpdateCheckSettings& settings) {
    openLog("vorninternet.log");
    const std::string listName = "updates" + settings.programVersion;
    bool ok = false;
    try {
        ok = checkWithList(listName, dialogs, notice, settings);
    } catch (const std::exception& exception) {
        logException("btUpdatesClick", exception);
    } catch (...) {
        logSehException("btUpdatesClick", -1);
    }
    if (!ok) {
        dialogs.information(kUpdateError);
    }
    std::remove(listName.c_str());
    closeLog();
    return ok;
}

}  // namespace vorn
