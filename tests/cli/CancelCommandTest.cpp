// Signals in the middle of long commands: qkvorn-cli runs as a child on the FUSE test
// medium (slowed down so each step takes a while) and is signalled at a known point.

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/Wipe.h"
#include "cli/CliProcess.h"
#include "net/LoopbackServers.h"
#include "support/TempDir.h"
#include "support/TestMedium.h"

namespace vorn::test {
namespace {

constexpr uint64_t kSectors = 32768;  // 16 MiB
const std::string kStart = ",,,,,,,START -\n,,,,,,,";

// The line the terminal prints when a row's step has passed.
std::string passedLine(const std::string& label) {
    return label + std::string(label.size() < 28 ? 28 - label.size() : 0, ' ') + " passed\n";
}

bool startsWithMarker(const std::string& image, uint64_t sector) {
    std::ifstream in(image, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(sector * 512));
    char bytes[sizeof kWipeMarker] = {};
    in.read(bytes, sizeof bytes);
    return std::string(bytes, sizeof bytes) == std::string(kWipeMarker, sizeof kWipeMarker);
}

// A signal at each point of a write run: the run exits 128 + the signal, says it was
// cancelled, writes event.log, leaves no result, and the steps after the signal never
// start. A cancel inside the write tests still leaves the markers, as a failed write
// test does; before them, none.
TEST(CancelRun, SignalsAtEachPointStopTheRun) {
    const struct {
        const char* point;
        int signal;
        const char* afterPassed;  // sent once this row has passed (nullptr: in the wipe)
        const char* neverStep;    // a step that must not start (nullptr: only the result file)
        bool markers;
        const char* said;
    } cases[] = {
        {"wipe", SIGINT, nullptr, "Read Test (2k block)", false, "cancelled by SIGINT"},
        {"read tests", SIGINT, "Read Test (4k block)", "Read Test (16k block)", false,
         "cancelled by SIGINT"},
        {"write tests", SIGINT, "Write Test (2k block)", "Write Test (8k block)", true,
         "cancelled by SIGINT"},
        {"access tests", SIGTERM, "Random Access Test", nullptr, true, "cancelled by SIGTERM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.point);
        TestMedium medium(kSectors * 512);
        if (!medium.ready()) {
            GTEST_SKIP() << medium.skipReason();
        }
        // Slow enough that a step is still running when the signal comes.
        ASSERT_TRUE(medium.control("latency_us=300\n"));
        TempDir here;
        CliProcess cli(here.path().string(),
                       {"run", "--device", medium.mediumPath(), "--write", "--yes"});
        ASSERT_TRUE(cli.started());
        uint64_t writesAtSignal = 0;
        if (c.afterPassed == nullptr) {
            ASSERT_TRUE(cli.waitForErr(passedLine("Testing Flash Device"))) << cli.err();
            ASSERT_TRUE(cli.waitUntil([&] { return medium.count("writes") > 0; }));
            writesAtSignal = medium.count("writes");
        } else {
            ASSERT_TRUE(cli.waitForErr(passedLine(c.afterPassed))) << cli.err();
        }
        cli.signal(c.signal);
        EXPECT_EQ(cli.finish(), 128 + c.signal) << cli.err();
        if (c.afterPassed == nullptr) {
            // The wipe stops after the write it was doing. A few more writes of 0.3 ms
            // may land between reading the count and the signal's arrival on a loaded
            // machine; a wipe that went on would write about 290 in all.
            EXPECT_LE(medium.count("writes"), writesAtSignal + 16);
        }
        const std::string err = cli.err();
        EXPECT_NE(err.find("qkvorn-cli: run: " + std::string(c.said) + "\n"), std::string::npos)
            << err;
        EXPECT_EQ(cli.out().find("Max read speed"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(here.file("temp.qkt")));
        const std::string events = here.read("event.log");
        EXPECT_NE(events.find(kStart + "Flash test:read\n"), std::string::npos);
        if (c.neverStep != nullptr) {
            EXPECT_EQ(events.find(kStart + c.neverStep + "\n"), std::string::npos);
        }
        EXPECT_EQ(startsWithMarker(medium.imagePath(), markerSector(kSectors, 1)), c.markers);
        EXPECT_NE(err.find("Warning: Error during test or test cancelled by user.\n"),
                  std::string::npos);
    }
}

// bench and access pass the signal to the running benchmark, which stops within a
// transfer or two; nothing is printed as if the benchmark had finished.
TEST(CancelBenchmarks, SignalsStopBenchAndAccess) {
    const struct {
        std::vector<std::string> arguments;
        int signal;
        const char* said;
    } cases[] = {
        {{"bench", "--read", "--block", "65536", "--zones", "1", "--timed", "8388608"},
         SIGHUP,
         "qkvorn-cli: bench: cancelled by SIGHUP\n"},
        {{"access", "--count", "100000"}, SIGTERM, "qkvorn-cli: access: cancelled by SIGTERM\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0]);
        TestMedium medium(kSectors * 512);
        if (!medium.ready()) {
            GTEST_SKIP() << medium.skipReason();
        }
        ASSERT_TRUE(medium.control("latency_us=20000\n"));
        TempDir here;
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.begin() + 1, {"--device", medium.mediumPath()});
        CliProcess cli(here.path().string(), arguments);
        ASSERT_TRUE(cli.started());
        // Well into the benchmark: opening the medium reads far fewer sectors.
        ASSERT_TRUE(cli.waitUntil([&] { return medium.count("reads") >= 40; }));
        const uint64_t readsAtSignal = medium.count("reads");
        cli.signal(c.signal);
        EXPECT_EQ(cli.finish(), 128 + c.signal) << cli.err();
        EXPECT_LE(medium.count("reads"), readsAtSignal + 2);
        EXPECT_NE(cli.err().find(c.said), std::string::npos) << cli.err();
        EXPECT_EQ(cli.out(), "");
    }
}

// update on Ctrl-C while the list drips in: the transfer stops, and neither the list
// nor any part of it is left.
TEST(CancelUpdate, InterruptedDownloadLeavesNoFile) {
    TempDir scripts;
    HostileHttpServer server(scripts, "drip-list");
    ASSERT_TRUE(server.ready());
    TempDir here;
    CliProcess cli(here.path().string(), {"update", "--server", server.url(), "--yes"});
    ASSERT_TRUE(cli.started());
    ASSERT_TRUE(cli.waitForErr("Checking for new benchmark data")) << cli.err();
    // Some of the list has arrived: a partial file would be there by now.
    ASSERT_TRUE(cli.waitUntil([&] {
        for (const auto& entry : std::filesystem::directory_iterator(here.path())) {
            if (entry.path().filename().string().find("updates") != std::string::npos &&
                entry.file_size() > 0) {
                return true;
            }
        }
        return false;
    }));
    cli.signal(SIGINT);
    EXPECT_EQ(cli.finish(), 130) << cli.err();
    EXPECT_NE(cli.err().find("qkvorn-cli: update: cancelled by SIGINT\n"), std::string::npos)
        << cli.err();
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(here.path())) {
        found.insert(entry.path().filename().string());
    }
    EXPECT_EQ(found, (std::set<std::string>{"out.txt", "err.txt", "vorninternet.log"}));
}

}  // namespace
}  // namespace vorn::test
