// upload: sends a saved result file with the diagnostic logs that are here to the
// results mailbox, as Upload Results does after the details window. The file is the
// user's own and stays where it is.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "base/FileNames.h"
#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/DeviceOpen.h"
#include "cli/NetTerminal.h"
#include "net/Upload.h"
#include "results/Collections.h"

namespace vorn::cli {
namespace {

constexpr const char* kCommand = "upload";

// "HOST" or "HOST:PORT"; false when the port is no number from 1 to 65535.
bool parseMailServer(const std::string& text, MailSettings& settings) {
    const size_t colon = text.rfind(':');
    settings.server = text.substr(0, colon);
    if (colon == std::string::npos) {
        return !settings.server.empty();
    }
    uint64_t port = 0;
    if (settings.server.empty() || !parseUnsigned(text.substr(colon + 1), 65535, &port) ||
        port == 0) {
        return false;
    }
    settings.port = static_cast<int>(port);
    return true;
}

}  // namespace

int runUpload(int argc, char** argv) {
    CommandLine line(kCommand, "Sends a result file and the diagnostic logs to the mailbox.");
    std::string from, server, ca;
    std::vector<std::string> rest;
    line.positionals("FILE", &rest, "the result file to send");
    line.text("--from", &from, "the sender's address", "ADDRESS");
    line.text("--mail-server", &server, "the mail server to send through", "HOST:PORT");
    line.text("--mail-ca", &ca, "trust these certificate authorities for STARTTLS", "FILE");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    MailSettings settings;
    settings.caFile = ca;
    if (line.given("--mail-server") && !parseMailServer(server, settings)) {
        return line.usageError("--mail-server wants HOST or HOST:PORT");
    }
    if (rest.size() != 1) {
        return line.usageError(
            "usage: qkvorn-cli upload FILE [--from ADDRESS] [--mail-server HOST:PORT] "
            "[--mail-ca FILE]");
    }
    const std::string& file = rest[0];
    if (!openCollection(file.c_str())) {
        return failWith(kCommand, openFailure(file, "a result file"));
    }
    NetDialogs dialogs(false);
    NetNotice notice;
    const ScopedLog log(kInternetLog);
    return uploadResultFile(file, from, dialogs, notice, settings, false) ? 0 : 1;
}

}  // namespace vorn::cli
