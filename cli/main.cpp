// qkvorn-cli: the QK Vorn engine for terminals, scripts and headless machines.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "base/DiagLog.h"
#include "base/MakerServers.h"
#include "cli/CliSupport.h"
#include "cli/Commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

constexpr Command kCommands[] = {
    {"list", vorn::cli::runList, "list [--json]"},
    {"watch", vorn::cli::runWatch, "watch [--json] [--changes N] [--timeout SECONDS]"},
    {"info", vorn::cli::runInfo, "info DRIVE"},
    {"sysinfo", vorn::cli::runSysinfo, "sysinfo"},
    {"bench", vorn::cli::runBench,
     "bench (--drive N | --device PATH) --read|--write --block BYTES [--zones N]\n"
     "        [--warmup BYTES] [--timed BYTES] [--align BYTES] [--full] [--json] [--yes]\n"
     "      bench (--drive N | --device PATH) --read|--write [--random] [--queue N]\n"
     "        [--seconds S] [--block BYTES] [--json] [--yes]"},
    {"access", vorn::cli::runAccess,
     "access (--drive N | --device PATH) [--sequential] [--count N] [--json]"},
    {"dump", vorn::cli::runDump, "dump FILE [--member N] [--json]"},
    {"show", vorn::cli::runShow, "show FILE [--member N] [--json]"},
    {"run", vorn::cli::runRun,
     "run (--drive N | --device PATH | --demo) [--write [--capacity]] [--extended] [--yes]"},
    {"capacity", vorn::cli::runCapacity,
     "capacity (--drive N | --device PATH) [--full] [--yes] [--json]"},
    {"update", vorn::cli::runUpdate, "update [--server URL] [--yes]"},
    {"upload", vorn::cli::runUpload, "upload FILE [--from ADDRESS] [--mail-server HOST:PORT]"},
    {"library", vorn::cli::runLibrary, "library OUT.qkl FILE..."},
    {"ingest", vorn::cli::runIngest, "ingest MAILDIR --into RESULTS"},
    {"publish", vorn::cli::runPublish, "publish RESULTS --out SITE"},
    {"report", vorn::cli::runReport, "report FILE [--member N]"},
    {"timeline", vorn::cli::runTimeline,
     "timeline EVENTLOG --out FILE.svg [--width PIXELS] [--height PIXELS]"},
};

void printUsage(FILE* out) {
    std::fprintf(out, "usage: qkvorn-cli COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& command : kCommands) {
        std::fprintf(out, "  %s\n", command.usage);
    }
    std::fprintf(out,
                 "\n'qkvorn-cli COMMAND --help' describes a command's options;\n"
                 "'qkvorn-cli --version' names the version and the maker's servers.\n");
}

// The version and the maker's servers this build talks to: a packager checks here
// that the build points at the service it hosts.
void printVersion() {
    std::string updateList = vorn::kUpdatePath;
    updateList.replace(updateList.find("%s"), 2, std::string("updates") + VORN_VERSION_TEXT);
    std::printf("qkvorn-cli %s\n", VORN_VERSION_TEXT);
    std::printf("web site: %s\n", vorn::kMakerWebSite);
    std::printf("update list: %s%s\n", vorn::kMakerWebSite, updateList.c_str());
    std::printf("mail server: %s:%d (%s)\n", vorn::kMailServer, vorn::kMailPort,
                vorn::kMailRequireTls ? "STARTTLS required" : "STARTTLS when offered");
    std::printf("results mailbox: %s\n", vorn::kResultsMailbox);
}

// A command's output that did not reach its file (a full disk, a closed pipe) is
// no success, whatever the command itself answered.
int finished(const char* name, int code) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "qkvorn-cli: %s: the standard output could not be written\n", name);
        return code != 0 ? code : 1;
    }
    if (vorn::logWriteFailed()) {
        std::fprintf(stderr, "qkvorn-cli: %s: a diagnostic log could not be written\n", name);
        return code != 0 ? code : 1;
    }
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "qkvorn-cli: no command given%s\n", vorn::cli::kHelpHint);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        printVersion();
        return finished("--version", 0);
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            try {
                return finished(command.name, command.run(argc - 2, argv + 2));
            } catch (const std::exception& e) {
                vorn::logException(command.name, e);
                std::fprintf(stderr, "qkvorn-cli: %s: %s\n", command.name, e.what());
            } catch (...) {
                vorn::logUnknownException(command.name, -1);
                std::fprintf(stderr, "qkvorn-cli: %s: unexpected failure\n", command.name);
            }
            return 1;
        }
    }
    std::fprintf(stderr, "qkvorn-cli: unknown command '%s'%s\n", argv[1], vorn::cli::kHelpHint);
    return 2;
}
