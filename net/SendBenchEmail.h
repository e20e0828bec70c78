#pragma once

#include <memory>
#include <string>

#include "base/MakerServers.h"
#include "net/WorkerThread.h"

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

// One e-mail with a result file and the two diagnostic logs, sent on a worker thread
// while the caller polls.
class I_VornSendBenchEmail {
public:
    // Waits for a send still running.
    virtual ~I_VornSendBenchEmail() = default;
    // False when no thread could be started; the send then counts as done and failed.
    virtual bool start(const std::string& resultFileName, const std::string& fromAddress,
                       const std::string& version, const std::string& toAddress) = 0;
    virtual bool isDone() = 0;
    // True when the mail server took the message; read it once isDone answers true.
    virtual bool succeeded() = 0;
    // After a failure, one line for the user with what the server answered (or that
    // the encrypted connection failed); empty when there is nothing more to say.
    virtual std::string failureDetail() { return {}; }
};

class VornSendBenchEmail : public I_VornSendBenchEmail {
public:
    explicit VornSendBenchEmail(const MailSettings& settings = {}) : settings_(settings) {}
    ~VornSendBenchEmail() override { worker_.join(); }
    VornSendBenchEmail(const VornSendBenchEmail&) = delete;
    VornSendBenchEmail& operator=(const VornSendBenchEmail&) = delete;

    bool start(const std::string& resultFileName, const std::string& fromAddress,
               const std::string& version, const std::string& toAddress) override;
    bool isDone() override { return worker_.isDone(); }
    bool succeeded() override { return worker_.succeeded(); }
    // Written by the worker before it finishes, so it is complete once isDone is true.
    std::string failureDetail() override { return isDone() ? detail_ : std::string(); }
    void noteDetail(const std::string& detail) { detail_ = detail; }

    const std::string& resultFileName() const { return resultFileName_; }
    const std::string& fromAddress() const { return fromAddress_; }
    const std::string& version() const { return version_; }
    const std::string& toAddress() const { return toAddress_; }
    const MailSettings& settings() const { return settings_; }

private:
    // Copies of the caller's texts: the worker reads them while the caller waits.
    std::string resultFileName_;
    std::string fromAddress_;
    std::string version_;
    std::string toAddress_;
    MailSettings settings_;
    std::string detail_;
    WorkerThread worker_{"EmailStartThread"};  // last: joined before the rest goes
};

// A mail object, or nullptr when the mail library cannot be set up.
std::unique_ptr<I_VornSendBenchEmail> newVornSendBenchEmail(const MailSettings& settings = {});

// The worker thread's job: the send, answering its success. Whatever escapes it is
// logged under "EmailStartThread" and counts as a failure.
bool EmailStartThread(VornSendBenchEmail& mail);

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
