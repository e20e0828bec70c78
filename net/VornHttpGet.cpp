#include "net/VornHttpGet.h"

#include <cstdio>
#include <exception>
#include <string>

#include "app/DiagLog.h"
#include "net/CurlSupport.h"

namespace vorn {

bool VornHttpGet::start(const std::string& url, const std::string& fileName) {
    if (!worker_.isDone()) {
        return false;
    }
    url_ = url;
    fileName_ = fileName;
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

// Fetches into an open file; false on any failure, which it logs.
bool fetchInto(const VornHttpGet& get, FILE* file) {
    CurlEasy curl(curl_easy_init());
    if (!curl) {
        logMessage("** doGet: no HTTP client");
        return false;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_URL, get.url().c_str());
    // Only web addresses: the server name comes from outside the program.
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, file);
    // An error page is no library file.
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, get.settings().stallSeconds);
    // Time-outs by signal would hit whichever thread the signal lands on.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        logCurlFailure("doGet", code, errorBuffer);
        return false;
    }
    // Redirections are not followed, and their page is no library file either.
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        logTransferProblem("doGet", "HTTP status " + std::to_string(status));
        return false;
    }
    return true;
}

}  // namespace

bool doGet(VornHttpGet& get) {
    const char* name = get.fileName().c_str();
    FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        logMessage("** doGet: cannot create %s", name);
        return false;
    }
    bool result = false;
    try {
        result = fetchInto(get, file);
    } catch (const std::exception& exception) {
        logException("doGet", exception);
    } catch (...) {
        logSehException("doGet", -1);
    }
    // A file that cannot be closed may not be complete on disk.
    if (std::fclose(file) != 0) {
        logMessage("** doGet: cannot write %s", name);
        result = false;
    }
    if (!result) {
        std::remove(name);
    }
    return result;
}

}  // namespace vorn
