#include "net/SmtpReplies.h"

#include <cctype>

namespace vorn {
namespace {

extern "C" int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* replies) {
    if (type == CURLINFO_HEADER_IN) {
        static_cast<SmtpReplies*>(replies)->take(data, size);
    }
    return 0;
}

bool mentionsStartTls(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper.find("STARTTLS") != std::string::npos;
}

}  // namespace

void SmtpReplies::follow(CURL* handle) {
    curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, this);
    // Verbose only feeds the callback above; nothing is printed.
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
}

void SmtpReplies::take(const char* bytes, size_t length) {
    partial_.append(bytes, length);
    for (size_t end = partial_.find('\n'); end != std::string::npos; end = partial_.find('\n')) {
        std::string line = partial_.substr(0, end);
        partial_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        current_.push_back(line);
        if (line.size() < 4 || line[3] != '-') {
            // A refusal is kept through the replies after it: a client that was
            // refused still says QUIT, and the server's goodbye says nothing new.
            if (line[0] == '4' || line[0] == '5') {
                refusal_.swap(current_);
            }
            current_.clear();
        }
    }
}

std::vector<std::string> SmtpReplies::refusalLines() const {
    return refusal_;
}

std::string SmtpReplies::describe(CURLcode code, const char* errorBuffer) const {
    const std::vector<std::string> lines = refusalLines();
    if (!lines.empty()) {
        std::string text;
        for (const std::string& line : lines) {
            text += (text.empty() ? "" : " ") + line;
        }
        const bool wantsTls = text.rfind("530", 0) == 0 || mentionsStartTls(text);
        return (wantsTls ? "The mail server requires an encrypted connection: "
                         : "The mail server answered: ") +
               text;
    }
    const std::string why = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    switch (code) {
        case CURLE_USE_SSL_FAILED:
            return "The mail server offers no encrypted connection (STARTTLS), and results "
                   "are sent only encrypted.";
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
            return "The encrypted connection to the mail server failed: " + why;
        default:
            return {};
    }
}

}  // namespace vorn
