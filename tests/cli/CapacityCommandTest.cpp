// qkvorn-cli capacity and run --capacity: asked and refused as the write test is,
// the answer in words and as JSON, on image files and the lying FUSE medium.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
    EXPECT_NE(asked.err.find("all data on this removable drive WILL be lost.  Continue test? "
                             "[y/N] no (no terminal; --yes answers yes)"),
              std::string::npos);
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
    EXPECT_EQ(words.out, "Real capacity: verified 0.1 GB of 0.1 GB\n");
    const CliRun json =
        runCli(dir.path().string(), "capacity --device '" + image + "' --yes --full --json");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_NE(json.out.find("\"claimed_bytes\": 99999744, \"verified_bytes\": 99999744, "
                            "\"verdict\": \"genuine\", \"full\": true"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"first_failed_sector\": null, \"failure\": null"), std::string::npos);
    // The full probe shows each pass with its rate and the time left.
    EXPECT_NE(json.err.find("Writing"), std::string::npos);
    EXPECT_NE(json.err.find("Reading  100%"), std::string::npos);
    EXPECT_NE(json.err.find(" MB/s  0:00:00 left"), std::string::npos);
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
    ASSERT_EQ(words.exitCode, 0) << words.err;
    EXPECT_EQ(words.out.rfind("Real capacity: only 0.0 GB of the claimed 0.2 GB usable; data "
                              "written beyond is lost\nFirst failed sector ",
                              0),
              0u)
        << words.out;
    EXPECT_NE(words.out.find(": wraps to sector "), std::string::npos);

    const CliRun full = runCli(dir.path().string(), "capacity " + device + " --full --json");
    ASSERT_EQ(full.exitCode, 0) << full.err;
    EXPECT_NE(full.out.find("\"verified_bytes\": " + std::to_string(real) +
                            ", \"verdict\": \"counterfeit\""),
              std::string::npos)
        << full.out;
    EXPECT_NE(full.out.find("\"first_failed_sector\": " + std::to_string(real / 512) +
                            ", \"failure\": \"wraps\", \"wraps_to\": 0"),
              std::string::npos);

    const CliRun run = runCli(dir.path().string(), "run " + device + " --write --capacity");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("Continue the test inside the verified capacity? [y/N] yes"),
              std::string::npos);
    EXPECT_NE(run.out.find("  Real capacity: only 0.0 GB of the claimed 0.2 GB usable"),
              std::string::npos)
        << run.out;
    const CliRun shown = runCli(dir.path().string(), "show temp.qkt");
    EXPECT_NE(shown.out.find("  First failed sector "), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace vorn::test
