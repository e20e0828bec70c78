#include "net/SendBenchEmail.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <vector>

#include "base/DiagLog.h"
#include "base/FileNames.h"
#include "net/CurlSupport.h"
#include "net/MailText.h"
#include "net/SmtpReplies.h"
#include "platform/FileKind.h"

namespace vorn {
namespace {

constexpr const char* kBody = "See attachements.\r\n";

// Header values never carry control characters, so no text can begin a header line
// of its own.
std::string headerText(const std::string& text) {
    std::string safe = text;
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte == 0x7f) {
            c = '_';
        }
    }
    return safe;
}

// The date line mail servers expect, in UTC and independent of the locale.
std::string dateHeader() {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "Date: %s, %02d %s %04d %02d:%02d:%02d +0000",
                  kDays[utc.tm_wday % 7], utc.tm_mday, kMonths[utc.tm_mon % 12], utc.tm_year + 1900,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

// The subject names the file without a folder: where it lies is nobody's business.
std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name a file part carries: the file's own name without its folder, without
// control characters, quotes and backslashes, which could end the header's quoted
// value and begin a header of their own.
std::string attachmentName(const std::string& path) {
    std::string name;
    for (const char c : baseName(path)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= ' ' && byte != 0x7f && c != '"' && c != '\'' && c != '\\') {
            name += c;
        }
    }
    return name.empty() ? "attachment" : name;
}

// A regular file that opens; a FIFO is refused at once rather than waited on.
bool readable(const std::string& name) {
    const int fd = platform::openRegularForReading(name.c_str());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

// The files that go: the result, then each log that is here. The body says which
// log is not: the terminal front end writes no start-up log, and no test log until
// it has run a test.
std::vector<std::string> presentFiles(const std::string& result, std::string& body) {
    std::vector<std::string> files = {result};
    body = kBody;
    for (const char* log : {kStartLog, kTestLog}) {
        if (readable(log)) {
            files.emplace_back(log);
        } else {
            body += std::string("\r\n") + log + " is not attached: there is no such log here.\r\n";
            logMessage("** sendEmail: %s is not here and is not attached", log);
        }
    }
    return files;
}

// The text part and the files, each file base64-encoded (a result file is binary)
// and named in its own disposition header (RFC 2231 for a name beyond ASCII). False
// when the library refused a part.
bool addParts(curl_mime* mime, const std::string& body, const std::vector<std::string>& files) {
    curl_mimepart* text = curl_mime_addpart(mime);
    if (text == nullptr || curl_mime_data(text, body.c_str(), body.size()) != CURLE_OK ||
        curl_mime_type(text, "text/plain") != CURLE_OK) {
        return false;
    }
    for (const std::string& file : files) {
        curl_mimepart* part = curl_mime_addpart(mime);
        CurlList disposition;
        if (part == nullptr ||
            !appendTo(disposition, attachmentDisposition(attachmentName(file)).c_str()) ||
            curl_mime_filedata(part, file.c_str()) != CURLE_OK ||
            curl_mime_headers(part, disposition.get(), 1) != CURLE_OK ||
            curl_mime_type(part, "application/octet-stream") != CURLE_OK ||
            curl_mime_encoder(part, "base64") != CURLE_OK) {
            return false;
        }
        (void)disposition.release();  // the part owns it now
    }
    return true;
}

// The domain of the Message-ID: the machine's, else the sender's, else the mailbox's.
std::string messageDomain(const VornSendBenchEmail& mail) {
    const std::string host = fullyQualifiedHostName();
    if (!host.empty()) {
        return host;
    }
    for (const std::string& address : {mail.fromAddress(), mail.toAddress()}) {
        const size_t at = address.rfind('@');
        if (at != std::string::npos && address.find('.', at) != std::string::npos) {
            return address.substr(at + 1);
        }
    }
    return "localhost.invalid";
}

bool addHeaders(const VornSendBenchEmail& mail, CurlList& headers) {
    const std::string subject =
        encodedHeaderText("File: " + headerText(baseName(mail.resultFileName())) +
                          " Version: " + headerText(mail.version()));
    return appendTo(headers, dateHeader().c_str()) &&
           appendTo(headers, ("From: " + mail.fromAddress()).c_str()) &&
           appendTo(headers, ("To: " + mail.toAddress()).c_str()) &&
           appendTo(headers, ("Subject: " + subject).c_str()) &&
           appendTo(headers, ("Message-ID: " + newMessageId(messageDomain(mail))).c_str());
}

// Where to, how to greet, and the encryption: STARTTLS whenever offered, and with
// requireTls nothing goes to a server without it.
void setConnection(CURL* handle, const MailSettings& settings, const std::string& url) {
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(handle, CURLOPT_USE_SSL,
                     settings.requireTls ? long(CURLUSESSL_ALL) : long(CURLUSESSL_TRY));
    if (!settings.caFile.empty()) {
        curl_easy_setopt(handle, CURLOPT_CAINFO, settings.caFile.c_str());
    }
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, settings.totalTimeoutSeconds);
    // Time-outs by signal would hit whichever thread the signal lands on.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
}

// The URL's path is the name the client greets with (EHLO).
std::string serverUrl(const MailSettings& settings) {
    return "smtp://" + settings.server + ":" + std::to_string(settings.port) + "/" +
           percentEncoded(greetingName(settings.server, settings.port));
}

// The send itself, with the server's replies followed; false on failure, which it
// logs with the server's whole reply and notes for the user.
bool perform(VornSendBenchEmail& mail, CURL* handle) {
    char errorBuffer[CURL_ERROR_SIZE] = {};
    SmtpReplies replies;
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    replies.follow(handle);
    const CURLcode code = curl_easy_perform(handle);
    if (code == CURLE_OK) {
        return true;
    }
    logCurlFailure("sendEmail", code, errorBuffer);
    for (const std::string& line : replies.refusalLines()) {
        logMessage("** The mail server answered: %s", line.c_str());
    }
    mail.noteDetail(replies.describe(code, errorBuffer));
    return false;
}

bool composeAndSend(VornSendBenchEmail& mail) {
    const std::string& from = mail.fromAddress();
    const std::string& to = mail.toAddress();
    if (!isSafeMailAddress(from) || !isSafeMailAddress(to)) {
        logTransferProblem("sendEmail",
                           "address refused: " + headerText(from) + " to " + headerText(to));
        return false;
    }
    if (!readable(mail.resultFileName())) {
        logTransferProblem("sendEmail", "cannot attach " + headerText(mail.resultFileName()));
        return false;
    }
    std::string body;
    const std::vector<std::string> files = presentFiles(mail.resultFileName(), body);
    CurlEasy curl(curl_easy_init());
    CurlList recipients;
    CurlList headers;
    if (!curl || !appendTo(recipients, to.c_str()) || !addHeaders(mail, headers)) {
        logTransferProblem("sendEmail", "cannot compose the message");
        return false;
    }
    CURL* handle = curl.get();
    CurlMime mime(curl_mime_init(handle));
    if (!mime || !addParts(mime.get(), body, files)) {
        logTransferProblem("sendEmail", "cannot compose the message");
        return false;
    }
    const std::string url = serverUrl(mail.settings());
    setConnection(handle, mail.settings(), url);
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_MIMEPOST, mime.get());
    return perform(mail, handle);
}

}  // namespace

bool VornSendBenchEmail::send(const std::string& resultFileName, const std::string& fromAddress,
                              const std::string& version, const std::string& toAddress) {
    resultFileName_ = resultFileName;
    fromAddress_ = fromAddress;
    version_ = version;
    toAddress_ = toAddress;
    detail_.clear();
    // Whatever escapes the send is logged under the name it always had.
    try {
        return sendEmail(*this);
    } catch (const std::exception& exception) {
        logException("EmailStartThread", exception);
    } catch (...) {
        logUnknownException("EmailStartThread", -1);
    }
    return false;
}

std::unique_ptr<I_VornSendBenchEmail> newVornSendBenchEmail(const MailSettings& settings) {
    if (!curlReady()) {
        return nullptr;
    }
    return std::make_unique<VornSendBenchEmail>(settings);
}

bool isSafeMailAddress(const std::string& address) {
    if (address.empty()) {
        return false;
    }
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte == 0x7f || c == '<' || c == '>') {
            return false;
        }
    }
    return true;
}

bool sendEmail(VornSendBenchEmail& mail) {
    try {
        return composeAndSend(mail);
    } catch (const std::exception& exception) {
        logException("sendEmail", exception);
    } catch (...) {
        logUnknownException("sendEmail", -1);
    }
    return false;
}

}  // namespace vorn
