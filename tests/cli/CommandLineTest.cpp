// What every command's command line answers: its help, and usage errors as one line
// with the hint; JSON strings escaped byte by byte in the old layout.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/MakerServers.h"
#include "cli/CliRun.h"
#include "results/ResultBytes.h"
#include "view/ChartResults.h"

namespace vorn::test {
namespace {

constexpr const char* kHint = " (see 'qkvorn-cli --help')\n";

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(CommandLine, EveryCommandHasHelpNamingItsOptions) {
    TempDir dir;
    const struct {
        const char* command;
        std::vector<const char*> options;
    } commands[] = {
        {"list", {"--json"}},
        {"info", {"DRIVE"}},
        {"sysinfo", {}},
        {"bench",
         {"--drive", "--device", "--read", "--write", "--block", "--zones", "--warmup", "--timed",
          "--align", "--full", "--json", "--yes"}},
        {"access", {"--drive", "--device", "--sequential", "--count", "--json"}},
        {"dump", {"FILE", "--member", "--json"}},
        {"show", {"FILE", "--member", "--json"}},
        {"run", {"--drive", "--device", "--demo", "--write", "--capacity", "--yes"}},
        {"capacity", {"--drive", "--device", "--full", "--yes", "--json"}},
        {"update", {"--server", "--yes"}},
        {"upload", {"FILE", "--from", "--mail-server"}},
        {"library", {"FILES"}},
        {"ingest", {"MAILDIR", "--into"}},
        {"publish", {"RESULTS", "--out"}},
        {"report", {"FILE", "--member"}},
        {"timeline", {"EVENTLOG", "--out", "--width", "--height"}},
    };
    for (const auto& c : commands) {
        SCOPED_TRACE(c.command);
        const CliRun run = runCli(dir.path().string(), std::string(c.command) + " --help");
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_NE(run.out.find(std::string("Usage: qkvorn-cli ") + c.command), std::string::npos)
            << run.out;
        for (const char* option : c.options) {
            EXPECT_NE(run.out.find(option), std::string::npos) << option << "\n" << run.out;
        }
    }
    // Help does nothing else: no run was made, no log written.
    const CliRun demo = runCli(dir.path().string(), "run --demo --help");
    EXPECT_EQ(demo.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("demo.img")));
    const CliRun program = runCli(dir.path().string(), "--help");
    EXPECT_EQ(program.exitCode, 0);
    EXPECT_NE(program.out.find("  timeline EVENTLOG"), std::string::npos) << program.out;
    EXPECT_NE(program.out.find("  ingest MAILDIR --into RESULTS\n"), std::string::npos);
}

// A packager checks here that the build points at the service it hosts: the update
// list's address is put together as the update check asks for it.
TEST(CommandLine, VersionNamesTheMakersServersOfThisBuild) {
    TempDir dir;
    const CliRun run = runCli(dir.path().string(), "--version");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string updateList = kUpdatePath;
    updateList.replace(updateList.find("%s"), 2, std::string("updates") + VORN_VERSION_TEXT);
    const std::string expected = std::string("qkvorn-cli ") + VORN_VERSION_TEXT + "\n" +
                                 "web site: " + kMakerWebSite + "\n" +
                                 "update list: " + kMakerWebSite + updateList + "\n" +
                                 "mail server: " + kMailServer + ":" + std::to_string(kMailPort);
    EXPECT_EQ(run.out.substr(0, expected.size()), expected);
    EXPECT_TRUE(endsWith(run.out, std::string("results mailbox: ") + kResultsMailbox + "\n"));
    // Asking for the version writes nothing but what it printed: no diagnostic log.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "out.txt" || name == "err.txt") << name;
    }
}

TEST(CommandLine, UsageErrorsAreOneLineWithTheHint) {
    TempDir dir;
    dir.write("r.qkc", resultBytes({{"DRIVEID", "Key", ""}}));
    const struct {
        const char* arguments;
        const char* line;  // the whole of stderr, less the hint
    } cases[] = {
        {"show r.qkc --member", "qkvorn-cli: show: --member needs a value"},
        {"dump r.qkc --member", "qkvorn-cli: dump: --member needs a member index"},
        {"dump r.qkc --member 4294967296", "qkvorn-cli: dump: --member needs a member index"},
        {"dump", "qkvorn-cli: dump: usage: qkvorn-cli dump FILE [--member N] [--json]"},
        {"dump r.qkc r.qkc", "qkvorn-cli: dump: only one FILE can be dumped"},
        {"timeline e.log --out", "qkvorn-cli: timeline: --out needs a value"},
        {"timeline e.log --out a.svg --width 20001",
         "qkvorn-cli: timeline: --width needs a whole number up to 20000"},
        {"show --json r.qkc --bogus", "qkvorn-cli: show: unknown option '--bogus'"},
        {"list -x", "qkvorn-cli: list: unknown option '-x'"},
        {"sysinfo extra", "qkvorn-cli: sysinfo: unexpected argument"},
        {"sysinfo extra --bogus", "qkvorn-cli: sysinfo: unknown option '--bogus'"},
        {"list --json --json", "qkvorn-cli: list: --json is given more than once"},
        {"show r.qkc --member 0 --member 0", "qkvorn-cli: show: --member is given more than once"},
        {"access --device a.img --device b.img",
         "qkvorn-cli: access: --device is given more than once"},
        {"access --device a.img --count +5",
         "qkvorn-cli: access: --count needs a whole number up "
         "to 1000000"},
        {"bench --drive 256 --read --block 4096",
         "qkvorn-cli: bench: --drive needs a whole number up to 255"},
        {"upload r.qkc --mail-server host:70000",
         "qkvorn-cli: upload: --mail-server wants HOST or HOST:PORT"},
        {"ingest mail", "qkvorn-cli: ingest: usage: qkvorn-cli ingest MAILDIR --into RESULTS"},
        {"ingest mail --into", "qkvorn-cli: ingest: --into needs a value"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = runCli(dir.path().string(), c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, c.line + std::string(kHint));
        EXPECT_EQ(run.out, "");
    }
}

// Options and FILE in any order, and "--name=value" as well as "--name value".
TEST(CommandLine, OptionsAnywhereAndWithEquals) {
    TempDir dir;
    dir.write("lib.qkl", libraryBytes({resultBytes({{"DRIVEID", "First", ""}}),
                                       resultBytes({{"DRIVEID", "Second", ""}})}));
    for (const char* arguments :
         {"dump --member 1 lib.qkl --json", "dump lib.qkl --json --member=1",
          "dump --json --member=1 lib.qkl"}) {
        SCOPED_TRACE(arguments);
        const CliRun run = runCli(dir.path().string(), arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out,
                  "{\"kind\": \"library\", \"members\": 2, \"member\": 1, \"entries\": ["
                  "{\"name\": \"DRIVEID\", \"value\": \"Second\", \"data_length\": 0, "
                  "\"data_hex\": null}]}\n");
    }
}

// A drive id that is not printable ASCII: escaped byte by byte, not as UTF-8, and
// charts without bars as empty objects.
TEST(CommandLine, ShowJsonEscapesBytesAndKeepsEmptyCharts) {
    TempDir dir;
    dir.write("r.qkc", resultBytes({{"VERSION", "1.0.0.1", ""}, {"DRIVEID", "Q\"\xE9\t", ""}}));
    const CliRun run = runCli(dir.path().string(), "show r.qkc --json");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("{\"axis_max\": ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find(", \"results\": [{\"drive_id\": \"Q\\\"\\u00e9\\u0009\", "
                           "\"read\": {}, \"write\": {}, \"summary\": \"Q\\\"\\u00e9\\u0009"),
              std::string::npos)
        << run.out;
    EXPECT_TRUE(endsWith(run.out, "\"}\n")) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
}

// Bars in MB/s are single-precision: each is printed as the shortest text that reads
// back as that float, whole ones without a fraction, never as the double it widens to.
TEST(CommandLine, ShowJsonPrintsRatesAsShortestFloats) {
    TempDir dir;
    StoredResult result;
    result.tests = tableTests(readTests, {1500000, 12345678, 20000000, 100000});
    ASSERT_TRUE(writeResultFile(dir.file("r.qkc"), result));
    const CliRun run = runCli(dir.path().string(), "show --json r.qkc");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("\"read\": {\"2k\": 1.5, \"4k\": 12.345678, \"8k\": 20, \"16k\": 0.1"),
              std::string::npos)
        << run.out;
}

}  // namespace
}  // namespace vorn::test
