// update: the update check with library download as Check Updates does it, the
// questions asked on the terminal.

#include <chrono>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/NetTerminal.h"
#include "cli/SignalCancel.h"
#include "net/UpdateCheck.h"

namespace vorn::cli {

int runUpdate(int argc, char** argv) {
    const CancelOnSignals cancelOnSignals;
    CommandLine line("update", "Checks for updates and downloads the library.");
    bool yes = false;
    UpdateCheckSettings settings = programUpdateSettings();
    line.flag("--yes", &yes, "download without asking");
    line.text("--server", &settings.server, "the update server's URL", "URL");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    // A terminal keeps the notice line; nothing is gained by holding each download.
    settings.minimumNotice = std::chrono::milliseconds(0);
    settings.http.cancel = &cancelSignal();
    NetDialogs dialogs(yes);
    NetNotice notice;
    const bool ok = checkForUpdates(dialogs, notice, settings);
    if (cancelRequested()) {
        return cancelledExit("update");
    }
    // The failure and its cause were printed as the one error box already.
    return ok ? 0 : 1;
}

}  // namespace vorn::cli
