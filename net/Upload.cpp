#include "net/Upload.h"

#include <cstdio>
#include <memory>

#include "base/DiagLog.h"
#include "base/Dialogs.h"
#include "base/MakerServers.h"
#include "net/NoticeView.h"
#include "platform/ProgramInfo.h"

namespace vorn {
namespace {

constexpr const char* kSent = "Benchmark results successfully updated.  Thank you!";
constexpr const char* kNotSent =
    "There was an error sending the results.  Is your computer connected to the internet?";
constexpr const char* kSenderRefused =
    "The e-mail address may not contain line breaks or the characters < and >.  "
    "Please enter the address alone and upload again.";
// Room of the e-mail box's text, without the terminating zero.
constexpr size_t kAddressChars = 1023;

}  // namespace

std::string makerWebDomain() {
    const std::string site = kMakerWebSite;
    const size_t scheme = site.find("://");
    return scheme == std::string::npos ? site : site.substr(scheme + 3);
}

std::string uploadNoticeText(const MailSettings& settings) {
    const std::string server = settings.server == kMailServer ? makerWebDomain() : settings.server;
    return "Sending benchmark data to " + server + "!";
}

std::string uploadSender(const std::string& typed, const std::string& mailbox) {
    std::string sender;
    for (const char c : typed.substr(0, kAddressChars)) {
        if (c != ' ') {
            sender.push_back(c);
        }
    }
    return sender.empty() ? mailbox : sender;
}

bool uploadResultFile(const std::string& fileName, const std::string& typedAddress,
                      I_Dialogs& dialogs, I_NoticeView& notice, const MailSettings& settings,
                      bool deleteAfter) {
    const std::string sender = uploadSender(typedAddress, settings.mailbox);
    bool sent = false;
    if (!isSafeMailAddress(sender)) {
        logMessage("** Upload refused: the e-mail address holds a line break, < or >");
        dialogs.information(kSenderRefused);
    } else {
        notice.setNoticeText(uploadNoticeText(settings));
        notice.showNotice();
        const char* version = platform::programVersion();
        std::unique_ptr<I_VornSendBenchEmail> mail = newVornSendBenchEmail(settings);
        if (mail) {
            sent =
                mail->send(fileName, sender, version != nullptr ? version : "", settings.mailbox);
        }
        const std::string detail = sent || !mail ? std::string() : mail->failureDetail();
        dialogs.information(sent             ? std::string(kSent)
                            : detail.empty() ? std::string(kNotSent)
                                             : std::string(kNotSent) + "\n" + detail);
        mail.reset();
        notice.hideNotice();
    }
    if (deleteAfter) {
        std::remove(fileName.c_str());
    }
    return sent;
}

}  // namespace vorn
