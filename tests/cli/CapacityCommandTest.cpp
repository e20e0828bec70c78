// qkvorn-cli capacity and run --capacity: asked and refused as the write test is,
// the answer in words, as JSON and as the exit status, on image files and the lying
// FUSE medium; a medium that goes away, signals, and a second check of one image.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "cli/CliProcess.h"
#include "cli/CliRun.h"
#include "support/TestMedium.h"

namespace vorn::test {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;

std::string makeImage(const TempDir& dir, uint64_t bytes) {
    const std::string image = dir.file("key.img");
    std::ofstream(image).close();
    std::filesystem::resize_file(image, bytes);
    return image;
}

bool allZero(const std::string& path) {
    const std::string bytes = readText(path);
    return bytes.find_first_not_of('\0') == std::string::npos;
}

TEST(CapacityCommand, AsksAndRefusesAsTheWriteTestDoes) {
    TempDir dir;
    const std::string image = makeImage(dir, 16 * kMiB);
    // No terminal to answer the overwrite question: nothing is agreed, nothing written.
    CliRun asked = runCli(dir.path().string(), "capacity --device '" + image + "'");
    EXPECT_EQ(asked.exitCode, 1);
    // Its own question, naming the drive.
    EXPECT_NE(asked.err.find("The capacity check will overwrite all data on "), std::string::npos)
        << asked.err;
    EXPECT_NE(asked.err.find("key.img"), std::string::npos);
    // The drive on a line of its own below the question, then the answer.
    const std::string question = "all data on this drive; it WILL be lost.  Continue?\n";
    const size_t at = asked.err.find(question);
    ASSERT_NE(at, std::string::npos) << asked.err;
    const size_t from = at + question.size();
    const std::string driveLine = asked.err.substr(from, asked.err.find('\n', from) - from);
    EXPECT_NE(driveLine.find("key.img"), std::string::npos) << driveLine;
    EXPECT_TRUE(driveLine.ends_with(" [y/N] no (no terminal; --yes answers yes)")) << driveLine;
    EXPECT_EQ(asked.err.find("write test"), std::string::npos);
    EXPECT_NE(asked.err.find("stopped before the check"), std::string::npos);
    EXPECT_TRUE(allZero(image));
    const struct {
        const char* arguments;
        const char* error;
    } usage[] = {
        {"capacity --yes", "give either --drive N or --device PATH"},
        {"capacity --device /nonexistent/key.img --yes", "does not open"},
        {"run --device key.img --capacity --yes", "--capacity needs --write"},
    };
    for (const auto& u : usage) {
        SCOPED_TRACE(u.arguments);
        const CliRun run = runCli(dir.path().string(), u.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(u.error), std::string::npos) << run.err;
    }
    EXPECT_TRUE(allZero(image));
}

TEST(CapacityCommand, GenuineImageVerifiesFullyInWordsAndJson) {
    TempDir dir;
    const std::string image = makeImage(dir, 100'000'000);
    const CliRun words = runCli(dir.path().string(), "capacity --device '" + image + "' --yes");
    ASSERT_EQ(words.exitCode, 0) << words.err;
    EXPECT_EQ(words.out,
              "Real capacity: verified 99,999,744 bytes (195,312 sectors, 0.09 GB) of "
              "99,999,744\n");
    const CliRun json =
        runCli(dir.path().string(), "capacity --device '" + image + "' --yes --full --json");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_NE(json.out.find("\"claimed_bytes\": 99999744, \"verified_bytes\": 99999744, "
                            "\"verdict\": \"genuine\", \"full\": true"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"first_failed_sector\": null, \"failure\": null"), std::string::npos);
    // The full check's write pass, every byte of it, closes the answer.
    EXPECT_NE(json.out.find(", \"write_curve\": {\"written_bytes\": 99999744, \"cache_bytes\": "),
              std::string::npos)
        << json.out;
    EXPECT_EQ(words.out.find("write"), std::string::npos);  // the fast probe states no curve
    // Off a terminal: one line per pass, naming it.
    EXPECT_NE(json.err.find("Pass 1: writing 100.0 MB\nPass 2: reading 100.0 MB\n"),
              std::string::npos)
        << json.err;
    const CliRun help = runCli(dir.path().string(), "capacity --help");
    EXPECT_NE(help.out.find("3 counterfeit"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("5 no verdict"), std::string::npos);
}

TEST(CapacityCommand, CounterfeitMediumIsFoundAndRunStaysInside) {
    TempDir dir;
    const uint64_t real = 24 * kMiB;
    TestMedium medium(real);
    if (!medium.ready()) {
        GTEST_SKIP() << medium.skipReason();
    }
    ASSERT_TRUE(medium.control("claim=" + std::to_string(200'000'000) + "\nbeyond=wrap\n"));
    const std::string device = "--device '" + medium.mediumPath() + "' --yes";
    const CliRun words = runCli(dir.path().string(), "capacity " + device);
    ASSERT_EQ(words.exitCode, 3) << words.err;
    EXPECT_EQ(words.out.rfind("Real capacity: only ", 0), 0u) << words.out;
    EXPECT_NE(words.out.find(" of the claimed 200,000,000 usable; data written beyond is lost\n"
                             "First failed sector "),
              std::string::npos)
        << words.out;
    EXPECT_NE(words.out.find(": wraps to sector "), std::string::npos);

    const CliRun full = runCli(dir.path().string(), "capacity " + device + " --full --json");
    ASSERT_EQ(full.exitCode, 3) << full.err;
    EXPECT_NE(full.out.find("\"verified_bytes\": " + std::to_string(real) +
                            ", \"verdict\": \"counterfeit\""),
              std::string::npos)
        << full.out;
    EXPECT_NE(full.out.find("\"first_failed_sector\": " + std::to_string(real / 512) +
                            ", \"failure\": \"wraps\", \"wraps_to\": 0"),
              std::string::npos);
    // Its write curve covers the real storage only: the missing part tells nothing.
    const std::string key = "\"write_curve\": {\"written_bytes\": ";
    const size_t curve = full.out.find(key);
    ASSERT_NE(curve, std::string::npos) << full.out;
    const uint64_t written = std::stoull(full.out.substr(curve + key.size()));
    EXPECT_LE(written, real);
    EXPECT_GE(written, real / 2);

    const CliRun run = runCli(dir.path().string(), "run " + device + " --write --capacity");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const size_t asked = run.err.find("Continue the test inside the verified capacity?\n");
    EXPECT_NE(asked, std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" [y/N] yes", asked), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("  Real capacity: only "), std::string::npos) << run.out;
    const CliRun shown = runCli(dir.path().string(), "show temp.qkt");
    EXPECT_NE(shown.out.find("  First failed sector "), std::string::npos) << shown.out;
}

// A stick that takes its first 16 MiB into a fast cache and the rest at 10 MB/s: the
// full check states both after its verdict. The medium's own time per request (a
// millisecond or two on a loaded machine) only makes it slower than told.
TEST(CapacityCommand, FullCheckStatesTheWriteCacheAndSustainedRate) {
    TempDir dir;
    TestMedium medium(40 * kMiB);
    if (!medium.ready()) {
        GTEST_SKIP() << medium.skipReason();
    }
    ASSERT_TRUE(medium.control(
        "bandwidth=100000000\nwrite_cache=16777216\nsustained_bandwidth=10000000\n"));
    const CliRun run =
        runCli(dir.path().string(), "capacity --device '" + medium.mediumPath() + "' --yes --full");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::regex line(
        "Real capacity: verified [^\n]*\nWrite cache: about ([0-9]+) MB at ([0-9.]+) MB/s, then "
        "([0-9.]+) MB/s sustained \\(slowest 16 MB: ([0-9.]+) MB/s\\)\n");
    std::smatch found;
    ASSERT_TRUE(std::regex_match(run.out, found, line)) << run.out;
    const double cacheMB = std::stod(found[1]), cacheRate = std::stod(found[2]);
    const double sustained = std::stod(found[3]), slowest = std::stod(found[4]);
    EXPECT_NEAR(cacheMB, 16.8, 4.2) << run.out;  // 16 MiB, in spans of 4 MiB
    EXPECT_LE(sustained, 10.5) << run.out;
    EXPECT_GT(sustained, 7) << run.out;
    EXPECT_GT(cacheRate, 2 * sustained) << run.out;
    EXPECT_LE(slowest, sustained * 1.05) << run.out;
}

// A medium that goes away mid-check is no counterfeit: no verdict, exit 5, at once.
TEST(CapacityCommand, MediumPulledMidCheckEndsWithoutAVerdict) {
    TempDir dir;
    TestMedium medium(64 * kMiB);
    if (!medium.ready()) {
        GTEST_SKIP() << medium.skipReason();
    }
    ASSERT_TRUE(medium.control("claim=2000000000\nbeyond=drop\nvanish_after=150\n"));
    const auto start = std::chrono::steady_clock::now();
    const CliRun pulled =
        runCli(dir.path().string(), "capacity --device '" + medium.mediumPath() + "' --yes --json");
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(pulled.exitCode, 5) << pulled.err;
    EXPECT_NE(pulled.out.find("\"verdict\": null, \"stopped\": \"gone\", \"stop_sector\": "),
              std::string::npos)
        << pulled.out;
    EXPECT_NE(pulled.err.find("The medium stopped answering at sector "), std::string::npos)
        << pulled.err;
    EXPECT_NE(pulled.err.find("; no verdict."), std::string::npos);
    EXPECT_LT(seconds.count(), 30.0);  // a hang, not a timing target
    // Nothing but the request that found it gone reached the pulled medium.
    EXPECT_LE(medium.count("reads") + medium.count("writes"), 152u);
}

TEST(CapacityCommand, SignalsCancelWithTheirExitCodes) {
    TempDir dir;
    TestMedium medium(64 * kMiB);
    if (!medium.ready()) {
        GTEST_SKIP() << medium.skipReason();
    }
    ASSERT_TRUE(medium.control("latency_us=2000\n"));
    for (const auto& [number, name, code] :
         {std::tuple{SIGINT, "SIGINT", 130}, {SIGTERM, "SIGTERM", 143}, {SIGHUP, "SIGHUP", 129}}) {
        SCOPED_TRACE(name);
        CliProcess cli(dir.path().string(),
                       {"capacity", "--device", medium.mediumPath(), "--yes", "--full"});
        ASSERT_TRUE(cli.started());
        ASSERT_TRUE(cli.waitForErr("Pass 1: writing"));
        cli.signal(number);
        EXPECT_EQ(cli.finish(), code);
        EXPECT_NE(cli.err().find(std::string("qkvorn-cli: capacity: cancelled by ") + name + "\n"),
                  std::string::npos)
            << cli.err();
    }
}

// O_EXCL keeps a second writer off a block device only: an image file is locked.
TEST(CapacityCommand, SecondCheckOfTheSameImageIsRefused) {
    TempDir dir;
    TestMedium medium(64 * kMiB);
    if (!medium.ready()) {
        GTEST_SKIP() << medium.skipReason();
    }
    ASSERT_TRUE(medium.control("latency_us=2000\n"));
    CliProcess first(dir.path().string(),
                     {"capacity", "--device", medium.mediumPath(), "--yes", "--full"});
    ASSERT_TRUE(first.waitForErr("Pass 1: writing"));
    const CliRun second =
        runCli(dir.path().string(), "capacity --device '" + medium.mediumPath() + "' --yes");
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_NE(second.err.find("QK Vorn cannot take this drive for the capacity check: another QK "
                              "Vorn check or test is using this image file"),
              std::string::npos)
        << second.err;
    first.signal(SIGINT);
    EXPECT_EQ(first.finish(), 130);
}

}  // namespace
}  // namespace vorn::test
