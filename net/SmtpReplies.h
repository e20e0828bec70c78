#pragma once

#include <curl/curl.h>

#include <string>
#include <vector>

namespace vorn {

// The replies of a mail server during one send, so that a refusal reaches the user
// and the log in the server's own words rather than as a bare code.
class SmtpReplies {
public:
    // Follows the replies of the transfer on `handle` (through its debug callback).
    void follow(CURL* handle);
    // Takes bytes the server sent; a reply ends with a line whose code is followed by
    // a blank ("550 ...") rather than a dash ("550-...").
    void take(const char* bytes, size_t length);
    // Every line of the last refusal (a reply of 4xx or 5xx), or none.
    std::vector<std::string> refusalLines() const;
    // One line for the user after a failed send: what the server refused with (or
    // that it wants an encrypted connection), or that the encryption failed; empty
    // when the server said nothing of the kind (it could not be reached).
    std::string describe(CURLcode code, const char* errorBuffer) const;

private:
    std::string partial_;
    std::vector<std::string> current_;
    std::vector<std::string> refusal_;
};

}  // namespace vorn
