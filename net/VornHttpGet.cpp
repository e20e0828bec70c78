#include "net/VornHttpGet.h"

#include <cctype>
#include <chrono>
#include <exception>
#include <string>

#include "base/DiagLog.h"
#include "net/CurlSupport.h"
#include "platform/ProgramInfo.h"
#include "results/ReplacementFile.h"

namespace vorn {

namespace {

// How often at most the progress is told while it changes: what the notice was shown
// when it was polled.
constexpr auto kProgressPause = std::chrono::milliseconds(5);

}  // namespace

bool VornHttpGet::fetch(const std::string& url, const std::string& fileName) {
    url_ = url;
    fileName_ = fileName;
    failure_.clear();
    toldReceived_ = 0;
    toldExpected_ = 0;
    toldAt_ = {};
    // Whatever escapes the transfer is logged under the name it always had.
    try {
        return doGet(*this);
    } catch (const std::exception& exception) {
        logException("HttpGetStartThread", exception);
    } catch (...) {
        logUnknownException("HttpGetStartThread", -1);
    }
    return false;
}

void VornHttpGet::noteProgress(uint64_t received, uint64_t expected) {
    if (!settings_.progress || (received == toldReceived_ && expected == toldExpected_)) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - toldAt_ < kProgressPause && received != expected) {
        return;
    }
    toldReceived_ = received;
    toldExpected_ = expected;
    toldAt_ = now;
    settings_.progress(received, expected);
}

std::unique_ptr<I_VornHttpGet> newVornHttpGet(const HttpGetSettings& settings) {
    if (!curlReady()) {
        return nullptr;
    }
    return std::make_unique<VornHttpGet>(settings);
}

namespace {

// What the library's callbacks work with during one transfer.
struct Transfer {
    VornHttpGet& get;
    ReplacementFile& file;
    uint64_t received = 0;
    // Of the last response: earlier ones were redirections.
    std::string contentType = {};
    std::string contentEncoding = {};
    bool tooLarge = false;
    bool writeFailed = false;
    bool cancelled = false;
    bool encoded = false;
    // What the progress's receiver threw: it may not pass through the library's C.
    std::exception_ptr thrown = nullptr;
};

// The value of `line` when it is the header `name` (given in lower case).
bool headerValue(const std::string& line, const char* name, std::string& value) {
    const std::string prefix = std::string(name) + ":";
    if (line.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) != prefix[i]) {
            return false;
        }
    }
    const size_t start = line.find_first_not_of(" \t", prefix.size());
    const size_t end = line.find_last_not_of(" \t\r\n");
    value = start == std::string::npos || end < start ? "" : line.substr(start, end - start + 1);
    return true;
}

// Takes one header line of any response; a status line begins the next response.
extern "C" size_t takeHeader(char* bytes, size_t size, size_t count, void* data) {
    auto& transfer = *static_cast<Transfer*>(data);
    const std::string line(bytes, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        transfer.contentType.clear();
        transfer.contentEncoding.clear();
    }
    (void)(headerValue(line, "content-type", transfer.contentType) ||
           headerValue(line, "content-encoding", transfer.contentEncoding));
    return size * count;
}

// Takes one piece of the body; answering less than the piece ends the transfer.
extern "C" size_t takePiece(char* bytes, size_t size, size_t count, void* data) {
    auto& transfer = *static_cast<Transfer*>(data);
    const size_t length = size * count;
    // Only identity was asked for; compressed bytes would be kept as the file itself.
    if (!transfer.contentEncoding.empty() && transfer.contentEncoding != "identity") {
        transfer.encoded = true;
        return 0;
    }
    const uint64_t limit = transfer.get.settings().maxBytes;
    // A server that sends no size, or lies about it, is cut off here.
    if (limit != 0 && transfer.received + length > limit) {
        transfer.tooLarge = true;
        return 0;
    }
    if (!transfer.file.write(bytes, length)) {
        transfer.writeFailed = true;
        return 0;
    }
    transfer.received += length;
    return length;
}

// Called often, also while no byte arrives: passes the progress on and stops a
// cancelled transfer.
extern "C" int onProgress(void* data, curl_off_t expected, curl_off_t, curl_off_t, curl_off_t) {
    auto& transfer = *static_cast<Transfer*>(data);
    try {
        transfer.get.noteProgress(transfer.received, expected > 0 ? uint64_t(expected) : 0);
    } catch (...) {
        transfer.thrown = std::current_exception();
        return 1;
    }
    const std::atomic<int>* cancel = transfer.get.settings().cancel;
    transfer.cancelled = cancel != nullptr && cancel->load() != 0;
    return transfer.cancelled ? 1 : 0;
}

void setBounds(CURL* handle, const HttpGetSettings& settings, Transfer& transfer) {
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, takePiece);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, takeHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, settings.lowSpeedBytes);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, settings.stallSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, settings.totalSeconds);
    if (settings.maxBytes != 0) {
        // Refused at once when the server announces more.
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(settings.maxBytes));
    }
}

// The failure in the user's words, from the library's code and what the callbacks saw.
std::string failureText(CURLcode code, const Transfer& transfer, const char* errorBuffer) {
    const uint64_t limit = transfer.get.settings().maxBytes;
    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        return "the file is larger than the limit of " + std::to_string(limit) + " bytes";
    }
    if (transfer.writeFailed) {
        return "the file could not be written: " + transfer.file.problem();
    }
    if (transfer.cancelled) {
        return "cancelled";
    }
    if (transfer.encoded) {
        return "the server sent it with Content-Encoding " + transfer.contentEncoding +
               ", where only identity was asked for";
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        return "the server was too slow (" + std::string(errorBuffer) + ")";
    }
    return errorBuffer[0] != '\0' ? std::string(errorBuffer) : curl_easy_strerror(code);
}

// Who asks, what it takes, and where it may be sent on. A redirection keeps the
// scheme or goes from http to https, never down to http nor elsewhere; the bytes are
// asked for as they are (identity) and kept undecoded, so the checks see the file.
void setIdentity(CURL* handle, const VornHttpGet& get, const CurlList& headers) {
    const char* version = platform::programVersion();
    const std::string agent = std::string("QKVorn/") + (version != nullptr ? version : "0");
    curl_easy_setopt(handle, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    const bool secure = get.url().rfind("https:", 0) == 0;
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, get.settings().maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, get.settings().maxRedirects);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
}

// The download's own check of what arrived, before anything is renamed into place.
bool passesCheck(VornHttpGet& get, const ReplacementFile& file, const std::string& type) {
    if (!get.settings().check) {
        return true;
    }
    const std::string problem = get.settings().check(file.tempPath(), type);
    if (!problem.empty()) {
        get.noteFailure(problem);
        logTransferProblem("doGet", get.fileName() + " refused: " + problem);
    }
    return problem.empty();
}

// Fetches into the reserved file; false on any failure, which it logs and notes.
bool fetchInto(VornHttpGet& get, ReplacementFile& file) {
    CurlEasy curl(curl_easy_init());
    CurlList headers;
    if (curl && !appendTo(headers, "Accept-Encoding: identity")) {
        curl.reset();
    }
    if (!curl) {
        get.noteFailure("no HTTP client");
        logMessage("** doGet: no HTTP client");
        return false;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    Transfer transfer{get, file};
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_URL, get.url().c_str());
    // Only web addresses: the server name comes from outside the program.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    setIdentity(handle, get, headers);
    // An error page is no library file.
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    setBounds(handle, get.settings(), transfer);
    // Time-outs by signal would hit whichever thread the signal lands on.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    const CURLcode code = curl_easy_perform(handle);
    if (transfer.thrown) {
        std::rethrow_exception(transfer.thrown);
    }
    if (code != CURLE_OK) {
        get.noteFailure(failureText(code, transfer, errorBuffer));
        logCurlFailure("doGet", code, errorBuffer);
        if (transfer.tooLarge || transfer.writeFailed || transfer.encoded) {
            logTransferProblem("doGet", failureText(code, transfer, errorBuffer));
        }
        return false;
    }
    // A redirection beyond the limit, or one left unfollowed, is no file either.
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        get.noteFailure("the server answered HTTP status " + std::to_string(status));
        logTransferProblem("doGet", "HTTP status " + std::to_string(status));
        return false;
    }
    return passesCheck(get, file, transfer.contentType);
}

}  // namespace

bool doGet(VornHttpGet& get) {
    const char* name = get.fileName().c_str();
    // Written beside the target and renamed over it when complete: a failed or cut
    // download leaves nothing, and never half a file under the library's name.
    ReplacementFile file(get.fileName());
    if (!file.reserve()) {
        get.noteFailure("cannot create " + get.fileName() + ": " + file.problem());
        logMessage("** doGet: cannot create %s: %s", name, file.problem().c_str());
        return false;
    }
    bool result = false;
    try {
        result = fetchInto(get, file);
    } catch (const std::exception& exception) {
        get.noteFailure(exception.what());
        logException("doGet", exception);
    } catch (...) {
        get.noteFailure("unexpected failure");
        logUnknownException("doGet", -1);
    }
    if (result && !file.commit()) {
        get.noteFailure("cannot write " + get.fileName() + ": " + file.problem());
        logMessage("** doGet: cannot write %s: %s", name, file.problem().c_str());
        result = false;
    }
    return result;
}

}  // namespace vorn
