// qkvorn-cli watch on this machine: the list it starts with, its ends (time, changes,
// a signal) and its options. Drives coming and going are the VM stage's part.

#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "cli/CliProcess.h"
#include "cli/CliRun.h"
#include "support/TempDir.h"

namespace vorn::test {
namespace {

constexpr const char* kNoMonitor = "event monitor";

// It starts with the list that `list` prints, byte for byte, as JSON and as text (the
// text list closed by an empty line), and a time limit alone is a normal end.
TEST(WatchCommand, StartsWithTheListAndEndsAtTheTimeLimit) {
    TempDir here;
    const CliRun list = runCli(here.path(), "list --json");
    const CliRun watch = runCli(here.path(), "watch --json --timeout 1");
    if (watch.err.find(kNoMonitor) != std::string::npos) {
        GTEST_SKIP() << watch.err;
    }
    EXPECT_EQ(watch.exitCode, 0) << watch.err;
    EXPECT_EQ(watch.out, list.out);
    const CliRun listText = runCli(here.path(), "list");
    const CliRun watchText = runCli(here.path(), "watch --timeout 1");
    EXPECT_EQ(watchText.exitCode, 0) << watchText.err;
    EXPECT_EQ(watchText.out, listText.out + "\n");
}

// Asked for changes that do not come in time, it fails and says how many came.
TEST(WatchCommand, TooFewChangesBeforeTheTimeLimitFail) {
    TempDir here;
    const CliRun watch = runCli(here.path(), "watch --changes 2 --timeout 1");
    if (watch.err.find(kNoMonitor) != std::string::npos) {
        GTEST_SKIP() << watch.err;
    }
    EXPECT_EQ(watch.exitCode, 1);
    EXPECT_EQ(watch.err, "qkvorn-cli: watch: timed out after 1 s with 0 of 2 changes\n");
}

// Without a limit it waits for events until a signal ends it, as every command ends.
TEST(WatchCommand, SignalsEndTheWait) {
    for (const auto& [number, name] : {std::pair{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}}) {
        TempDir here;
        CliProcess watch(here.path(), {"watch", "--json"});
        ASSERT_TRUE(watch.started());
        const bool listed = watch.waitUntil([&] { return !watch.out().empty(); });
        if (!listed && watch.err().find(kNoMonitor) != std::string::npos) {
            GTEST_SKIP() << watch.err();
        }
        ASSERT_TRUE(listed) << watch.err();
        watch.signal(number);
        EXPECT_EQ(watch.finish(), 128 + number) << name;
        EXPECT_EQ(watch.err(), std::string("qkvorn-cli: watch: cancelled by ") + name + "\n");
    }
}

TEST(WatchCommand, OptionsAreCheckedAndDescribed) {
    TempDir here;
    const CliRun help = runCli(here.path(), "watch --help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--json", "--changes", "--timeout"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(runCli(here.path(), "watch --changes many").exitCode, 2);
    EXPECT_EQ(runCli(here.path(), "watch --timeout -1").exitCode, 2);
    EXPECT_EQ(runCli(here.path(), "watch extra").exitCode, 2);
    const CliRun usage = runCli(here.path(), "--help");
    EXPECT_NE(usage.out.find("  watch [--json] [--changes N] [--timeout SECONDS]\n"),
              std::string::npos);
}

}  // namespace
}  // namespace vorn::test
