#include "net/SendBenchEmail.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <exception>

#include "base/DiagLog.h"
#include "net/CurlSupport.h"
#include "platform/FileKind.h"

namespace vorn {
namespace {

constexpr const char* kBody = "See attachements.\r\n";
constexpr const char* kStartLog = "vorninit.log";
constexpr const char* kTestLog = "vorntest.log";

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

// The text line and the three files, each file base64-encoded (a result file is
// binary). False when the library refused a part.
bool addParts(curl_mime* mime, const std::string (&files)[3]) {
    curl_mimepart* body = curl_mime_addpart(mime);
    if (body == nullptr || curl_mime_data(body, kBody, CURL_ZERO_TERMINATED) != CURLE_OK ||
        curl_mime_type(body, "text/plain") != CURLE_OK) {
        return false;
    }
    for (const std::string& file : files) {
        curl_mimepart* part = curl_mime_addpart(mime);
        if (part == nullptr || curl_mime_filedata(part, file.c_str()) != CURLE_OK ||
            curl_mime_filename(part, attachmentName(file).c_str()) != CURLE_OK ||
            curl_mime_type(part, "application/octet-stream") != CURLE_OK ||
            curl_mime_encoder(part, "base64") != CURLE_OK) {
            return false;
        }
    }
    return true;
}

bool composeAndSend(const VornSendBenchEmail& mail) {
    const std::string& from = mail.fromAddress();
    const std::string& to = mail.toAddress();
    if (!isSafeMailAddress(from) || !isSafeMailAddress(to)) {
        logTransferProblem("sendEmail",
                           "address refused: " + headerText(from) + " to " + headerText(to));
        return false;
    }
    const std::string files[3] = {mail.resultFileName(), kStartLog, kTestLog};
    for (const std::string& file : files) {
        if (!readable(file)) {
            logTransferProblem("sendEmail", "cannot attach " + headerText(file));
            return false;
        }
    }
    CurlEasy curl(curl_easy_init());
    CurlList recipients;
    CurlList headers;
    const std::string subject = "Subject: File: " + headerText(baseName(mail.resultFileName())) +
                                " Version: " + headerText(mail.version());
    if (!curl || !appendTo(recipients, to.c_str()) || !appendTo(headers, dateHeader().c_str()) ||
        !appendTo(headers, ("From: " + from).c_str()) ||
        !appendTo(headers, ("To: " + to).c_str()) || !appendTo(headers, subject.c_str())) {
        logTransferProblem("sendEmail", "cannot compose the message");
        return false;
    }
    CURL* handle = curl.get();
    CurlMime mime(curl_mime_init(handle));
    if (!mime || !addParts(mime.get(), files)) {
        logTransferProblem("sendEmail", "cannot compose the message");
        return false;
    }
    const MailSettings& settings = mail.settings();
    const std::string url = "smtp://" + settings.server + ":" + std::to_string(settings.port);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(handle, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_MIMEPOST, mime.get());
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, settings.connectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, settings.totalTimeoutSeconds);
    // Time-outs by signal would hit whichever thread the signal lands on.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    const CURLcode code = curl_easy_perform(handle);
    if (code != CURLE_OK) {
        logCurlFailure("sendEmail", code, errorBuffer);
        return false;
    }
    return true;
}

}  // namespace

bool VornSendBenchEmail::start(const std::string& resultFileName, const std::string& fromAddress,
                               const std::string& version, const std::string& toAddress) {
    if (!worker_.isDone()) {
        return false;
    }
    resultFileName_ = resultFileName;
    fromAddress_ = fromAddress;
    version_ = version;
    toAddress_ = toAddress;
    return worker_.start([this] { return EmailStartThread(*this); });
}

std::unique_ptr<I_VornSendBenchEmail> newVornSendBenchEmail(const MailSettings& settings) {
    if (!curlReady()) {
        return nullptr;
    }
    return std::make_unique<VornSendBenchEmail>(settings);
}

bool EmailStartThread(VornSendBenchEmail& mail) {
    return sendEmail(mail);
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
