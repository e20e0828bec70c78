#pragma once

#include <memory>
#include <string>

#include "base/MakerServers.h"

namespace vorn {

struct MailSettings {
    std::string server = kMailServer;
    int port = kMailPort;
    // The results mailbox: the recipient, and the sender when the user gives none.
    std::string mailbox = kResultsMailbox;
    long connectTimeoutMs = 60000;
    // The whole send, so a server that accepts the connection and then falls silent
    // cannot keep the upload waiting for ever.
    long totalTimeoutSeconds = 300;
    // STARTTLS is used whenever the server offers it; with requireTls a server that
    // does not is left before the message goes.
    bool requireTls = kMailRequireTls;
    // Certificate authorities to trust for STARTTLS instead of the system's (a private
    // server's own, or a test's); empty: the system's.
    std::string caFile;
};

// One e-mail with a result file and the two diagnostic logs, sent on the calling
// thread: a window's worker or the terminal's own thread waits in the send, which
// ends at the server's answer or a time limit.
class I_VornSendBenchEmail {
public:
    virtual ~I_VornSendBenchEmail() = default;
    // Sends and answers when the send is over: true when the mail server took the
    // message.
    virtual bool send(const std::string& resultFileName, const std::string& fromAddress,
                      const std::string& version, const std::string& toAddress) = 0;
    // After a failed send, one line for the user with what the server answered (or
    // that the encrypted connection failed); empty when there is nothing more to say.
    virtual std::string failureDetail() { return {}; }
};

class VornSendBenchEmail : public I_VornSendBenchEmail {
public:
    explicit VornSendBenchEmail(const MailSettings& settings = {}) : settings_(settings) {}
    VornSendBenchEmail(const VornSendBenchEmail&) = delete;
    VornSendBenchEmail& operator=(const VornSendBenchEmail&) = delete;

    bool send(const std::string& resultFileName, const std::string& fromAddress,
              const std::string& version, const std::string& toAddress) override;
    std::string failureDetail() override { return detail_; }
    void noteDetail(const std::string& detail) { detail_ = detail; }

    const std::string& resultFileName() const { return resultFileName_; }
    const std::string& fromAddress() const { return fromAddress_; }
    const std::string& version() const { return version_; }
    const std::string& toAddress() const { return toAddress_; }
    const MailSettings& settings() const { return settings_; }

private:
    std::string resultFileName_;
    std::string fromAddress_;
    std::string version_;
    std::string toAddress_;
    MailSettings settings_;
    std::string detail_;
};

// A mail object, or nullptr when the mail library cannot be set up.
std::unique_ptr<I_VornSendBenchEmail> newVornSendBenchEmail(const MailSettings& settings = {});

// An address that may stand in the mail's envelope and headers: not empty, and
// without line breaks or other control characters and without "<" or ">", which
// would let it add header lines or a second address of its own.
bool isSafeMailAddress(const std::string& address);

// Composes and sends the message: From the sender, To the one recipient, Subject
// "File: <result file> Version: <version>" (RFC 2047 encoded when not ASCII), a
// Message-ID, the line "See attachements." and the result file, "vorninit.log" and
// "vorntest.log" as attachments in this order. A log that is not here is left out and
// the body says so. The client greets with the machine's qualified name (or its
// address literal) and uses STARTTLS when offered. A failure of any kind is logged
// under "sendEmail", with the server's whole reply, and answers false.
bool sendEmail(VornSendBenchEmail& mail);

}  // namespace vorn
