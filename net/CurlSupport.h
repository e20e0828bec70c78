#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace vorn {

// libcurl's process-wide set-up, done once before the first transfer on the thread
// that creates a worker (libcurl wants it before threads use the library). False
// when the library could not be set up.
bool curlReady();

// Owning handles, so every way out of a transfer frees what it made.
struct CurlEasyFree {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlMimeFree {
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;
using CurlList = std::unique_ptr<curl_slist, CurlListFree>;
using CurlMime = std::unique_ptr<curl_mime, CurlMimeFree>;

// Appends to a header or recipient list; false when the list could not grow.
bool appendTo(CurlList& list, const char* text);

// Logs a failed transfer in the form of an exception line under `place`, with the
// library's own explanation (the error buffer when it holds one).
void logCurlFailure(const char* place, CURLcode code, const char* errorBuffer);

// Logs a failure found before any transfer, in the same form.
void logTransferProblem(const char* place, const std::string& text);

}  // namespace vorn
