// update: the update check with library download as Check Updates does it, the
// questions asked on the terminal.

#include <chrono>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/NetTerminal.h"
#include "cli/SignalCancel.h"
#include "net/UpdateCheck.h"

namespace vorn::cli {

int runUpdate(int argc, char** argv) {
    const CancelOnSignals cancelOnSignals;
    ArgParser args(argc, argv);
    const bool yes = args.takeFlag("--yes");
    UpdateCheckSettings settings = programUpdateSettings();
    args.takeValue("--server", &settings.server);
    const std::vector<std::string> rest = args.positionals();
    if (!args.ok() || !rest.empty()) {
        return failWith(
            "update", args.ok() ? "usage: qkvorn-cli update [--server URL] [--yes]" : args.error(),
            2);
    }
    // A terminal keeps the notice line; nothing is gained by holding each download.
    settings.minimumNotice = std::chrono::milliseconds(0);
    settings.http.cancel = &cancelSignal();
    NetDialogs dialogs(yes);
    NetNotice notice;
    std::string why;
    const bool ok = checkForUpdates(dialogs, notice, settings, &why);
    if (cancelRequested()) {
        return cancelledExit("update");
    }
    return ok ? 0 : failWith("update", why);
}

}  // namespace vorn::cli
