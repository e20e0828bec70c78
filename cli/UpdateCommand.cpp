// update: the update check with library download as Check Updates does it, the
// questions asked on the terminal.

#include <chrono>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/Commands.h"
#include "cli/NetTerminal.h"
#include "net/UpdateCheck.h"

namespace vorn::cli {

int runUpdate(int argc, char** argv) {
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
    NetDialogs dialogs(yes);
    NetNotice notice;
    return checkForUpdates(dialogs, notice, settings) ? 0 : 1;
}

}  // namespace vorn::cli
