#include "net/CurlSupport.h"

#include <mutex>
#include <stdexcept>

#include "base/DiagLog.h"

namespace vorn {

// Named in the log line as the exception class, so a failed transfer reads like
// any other failure the program caught.
class TransferError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

bool curlReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

bool appendTo(CurlList& list, const char* text) {
    curl_slist* grown = curl_slist_append(list.get(), text);
    if (grown == nullptr) {
        return false;
    }
    (void)list.release();
    list.reset(grown);
    return true;
}

void logCurlFailure(const char* place, CURLcode code, const char* errorBuffer) {
    const std::string text = errorBuffer != nullptr && errorBuffer[0] != '\0'
                                 ? std::string(errorBuffer)
                                 : std::string(curl_easy_strerror(code));
    logTransferProblem(place, text + " (" + std::to_string(static_cast<int>(code)) + ")");
}

void logTransferProblem(const char* place, const std::string& text) {
    logException(place, TransferError(text));
}

}  // namespace vorn
