#include "net/VornHttpGet.h"

#include <exception>
#include <string>

#include "base/DiagLog.h"
#include "net/CurlSupport.h"
#include "results/ReplacementFile.h"

namespace vorn {

bool VornHttpGet::start(const std::string& url, const std::string& fileName) {
    if (!worker_.isDone()) {
        return false;
    }
    url_ = url;
    fileName_ = fileName;
    failure_.clear();
    noteProgress(0, 0);
    return worker_.start([this] { return HttpGetStartThread(*this); });
}

std::unique_ptr<I_VornHttpGet> newVornHttpGet(const HttpGetSettings& settings) {
    if (!curlReady()) {
        return nullptr;
    }
    return std::make_unique<VornHttpGet>(settings);
}

bool HttpGetStartThread(VornHttpGet& get) {
    return doGet(get);
}

namespace {

// What the library's callbacks work with during one transfer.
struct Transfer {
    VornHttpGet& get;
    ReplacementFile& file;
    uint64_t received = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    bool cancelled = false;
};

// Takes one piece of the body; answering less than the piece ends the transfer.
extern "C" size_t takePiece(char* bytes, size_t size, size_t count, void* data) {
    auto& transfer = *static_cast<Transfer*>(data);
    const size_t length = size * count;
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
    transfer.get.noteProgress(transfer.received, expected > 0 ? uint64_t(expected) : 0);
    const std::atomic<int>* cancel = transfer.get.settings().cancel;
    transfer.cancelled = cancel != nullptr && cancel->load() != 0;
    return transfer.cancelled ? 1 : 0;
}

void setBounds(CURL* handle, const HttpGetSettings& settings, Transfer& transfer) {
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, takePiece);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
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
    if (code == CURLE_OPERATION_TIMEDOUT) {
        return "the server was too slow (" + std::string(errorBuffer) + ")";
    }
    return errorBuffer[0] != '\0' ? std::string(errorBuffer) : curl_easy_strerror(code);
}

// Fetches into the reserved file; false on any failure, which it logs and notes.
bool fetchInto(VornHttpGet& get, ReplacementFile& file) {
    CurlEasy curl(curl_easy_init());
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
    // An error page is no library file.
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    setBounds(handle, get.settings(), transfer);
    // Time-outs by signal would hit whichever thread the signal lands on.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        get.noteFailure(failureText(code, transfer, errorBuffer));
        logCurlFailure("doGet", code, errorBuffer);
        if (transfer.tooLarge || transfer.writeFailed) {
            logTransferProblem("doGet", failureText(code, transfer, errorBuffer));
        }
        return false;
    }
    // Redirections are not followed, and their page is no library file either.
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        get.noteFailure("the server answered HTTP status " + std::to_string(status));
        logTransferProblem("doGet", "HTTP status " + std::to_string(status));
        return false;
    }
    return true;
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
