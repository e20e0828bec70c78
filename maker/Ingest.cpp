#include "maker/Ingest.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "maker/MailMessage.h"
#include "maker/Maildir.h"
#include "maker/SafeText.h"
#include "maker/Sha256.h"
#include "maker/UploadVerdict.h"
#include "results/ReplacementFile.h"
#include "results/VornDiskCollection.h"

namespace vorn {

namespace {

std::string failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The log, held open and locked for the whole run, so two runs never file at once.
class IngestLog {
public:
    ~IngestLog() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool open(const std::string& path, std::string* why) {
        fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            *why = failure("cannot open " + path);
            return false;
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            *why = failure("another ingest holds " + path);
            return false;
        }
        return true;
    }
    bool append(const std::string& line, std::string* why) {
        const std::string text = line + "\n";
        if (::write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            *why = failure("cannot write the ingest log");
            return false;
        }
        return true;
    }
    bool close(std::string* why) {
        const int fd = fd_;
        fd_ = -1;
        if (fd >= 0 && (::fsync(fd) != 0 || ::close(fd) != 0)) {
            *why = failure("cannot finish the ingest log");
            return false;
        }
        return true;
    }

private:
    int fd_ = -1;
};

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool makeResultsFolder(const std::string& path, std::string* why) {
    struct stat info {};
    if (::mkdir(path.c_str(), 0777) == 0 ||
        (errno == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) {
        return true;
    }
    *why = failure("cannot make the results folder " + path);
    return false;
}

// The filed copy must open with the result reader itself before it takes its name.
bool readerAccepts(const std::string& path) {
    VornDiskCollection file;
    uint32_t valueLength = 0;
    uint32_t dataLength = 0;
    return file.open(path.c_str()) &&
           file.findEntry("DRIVEID", &valueLength, nullptr, &dataLength, nullptr);
}

bool writeAtomically(const std::string& target, const std::string& bytes, bool result,
                     std::string* why) {
    ReplacementFile file(target);
    if (!file.reserve() || !file.write(bytes)) {
        *why = "cannot write " + target + ": " + file.problem();
        return false;
    }
    if (result && !readerAccepts(file.tempPath())) {
        *why = "the result reader refused the copy written for " + target;
        return false;
    }
    if (!file.commit()) {
        *why = "cannot write " + target + ": " + file.problem();
        return false;
    }
    return true;
}

bool syncFolder(const std::string& path, std::string* why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (!synced) {
        *why = failure("cannot sync " + path);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return synced;
}

std::string keptTexts(const std::string& shownFile, const UploadVerdict& verdict) {
    std::string text = "Message: " + shownFile + "\nSubject: " + verdict.subject +
                       "\nResult attachment: " + verdict.resultName + "\n";
    for (const KeptText& kept : verdict.texts) {
        text += "\n== " + kept.name + " (" + std::to_string(kept.bytes) + " bytes" +
                (kept.cut ? ", the first " + std::to_string(kMaxKeptTextBytes) + " kept" : "") +
                ") ==\n" + kept.text;
    }
    return text;
}

enum class Filing { stored, duplicate, failed };

// The result under its content name; the same bytes already there are a duplicate,
// other bytes under that name are left alone and are a failure.
Filing fileResult(const std::string& target, const std::string& result, std::string* why) {
    if (!exists(target)) {
        return writeAtomically(target, result, true, why) ? Filing::stored : Filing::failed;
    }
    std::string present;
    if (!readBounded(target, kMaxResultBytes, &present, why)) {
        return Filing::failed;
    }
    if (present != result) {
        *why = target + " holds other bytes; it is left as it is";
        return Filing::failed;
    }
    return Filing::duplicate;
}

class IngestRun {
public:
    IngestRun(const std::string& maildir, const std::string& results,
              const std::function<void(const std::string&)>& say)
        : maildir_(maildir), results_(results), say_(say) {}

    IngestReport run();

private:
    void handle(const std::string& file);
    void accept(const std::string& file, const UploadVerdict& verdict);
    void logLine(const std::string& text);
    void fail(const std::string& why) { report_.failures.push_back(why); }

    const std::string& maildir_;
    const std::string& results_;
    const std::function<void(const std::string&)>& say_;
    IngestLog log_;
    IngestReport report_;
};

IngestReport IngestRun::run() {
    std::string why;
    std::vector<std::string> files;
    struct stat info {};
    if (::stat((maildir_ + "/new").c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        fail(maildir_ + " is no Maildir: it has no new/ folder");
    } else if (!makeResultsFolder(results_, &why) || !log_.open(results_ + "/ingest.log", &why) ||
               !listNewMessages(maildir_, &files, &why)) {
        fail(why);
    }
    for (const std::string& file : files) {
        handle(file);
    }
    if (!log_.close(&why)) {
        fail(why);
    }
    return report_;
}

void IngestRun::handle(const std::string& file) {
    std::string bytes;
    std::string why;
    if (!readBounded(maildir_ + "/new/" + file, kMaxMessageBytes, &bytes, &why)) {
        return fail(why);
    }
    const UploadVerdict verdict = judgeUpload(bytes);
    if (verdict.accepted) {
        return accept(file, verdict);
    }
    if (!moveToRejected(maildir_, file, &why)) {
        return fail(why);
    }
    ++report_.rejected;
    logLine(printableLine(file) + " rejected: " + verdict.reason);
}

void IngestRun::accept(const std::string& file, const UploadVerdict& verdict) {
    const std::string name = contentName(verdict.result);
    const std::string stem = results_ + "/" + name;
    std::string why;
    const Filing filing = fileResult(stem + ".qkc", verdict.result, &why);
    // The first upload's texts stay; a crash before they were written is made good.
    const bool filed = filing != Filing::failed &&
                       (exists(stem + ".logs.txt") ||
                        writeAtomically(stem + ".logs.txt", keptTexts(printableLine(file), verdict),
                                        false, &why)) &&
                       syncFolder(results_, &why) && markSeen(maildir_, file, &why);
    if (!filed) {
        return fail(why);
    }
    const bool duplicate = filing == Filing::duplicate;
    ++(duplicate ? report_.duplicates : report_.accepted);
    logLine(printableLine(file) + (duplicate ? " duplicate " : " accepted ") + name +
            (verdict.resultName.empty() ? "" : " \"" + verdict.resultName + "\""));
}

void IngestRun::logLine(const std::string& text) {
    const std::string line = utcNow() + " " + text;
    say_(line);
    std::string why;
    if (!log_.append(line, &why)) {
        fail(why);
    }
}

}  // namespace

IngestReport ingestMaildir(const std::string& maildir, const std::string& results,
                           const std::function<void(const std::string&)>& say) {
    return IngestRun(maildir, results, say).run();
}

std::string ingestSummary(const IngestReport& report) {
    return std::to_string(report.accepted) + " accepted, " + std::to_string(report.duplicates) +
           " duplicates, " + std::to_string(report.rejected) + " rejected";
}

std::string contentName(std::string_view result) {
    return sha256Hex(result).substr(0, 32);
}

}  // namespace vorn
