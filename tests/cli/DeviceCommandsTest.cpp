#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "cli/CliRun.h"
#include "support/TempDir.h"

// The device commands on image files, as a script would use them.
namespace vorn::test {
namespace {

class DeviceCommands : public ::testing::Test {
protected:
    void SetUp() override {
        image_ = dir_.file("card.img");
        std::ofstream(image_, std::ios::binary).seekp(16 * 1024 * 1024 - 1).put('\x5A');
    }
    CliRun run(const std::string& arguments) { return runCli(dir_.path().string(), arguments); }

    TempDir dir_;
    std::string image_;
};

TEST_F(DeviceCommands, BenchPrintsTwoZonesAsJson) {
    const CliRun r = run("bench --device card.img --read --block 65536 --timed 1048576 --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"status\": 1, \"zones\": [{\"start\": 0, \"max\": ", 0), 0u) << r.out;
    // The last zone ends one sector before the end of the medium, aligned to 64 KB.
    EXPECT_NE(r.out.find("{\"start\": 15663104, \"max\": "), std::string::npos) << r.out;
    for (const char* key : {"\"min\": ", "\"zone_rate\": ", "\"median\": ", "\"stddev\": "}) {
        EXPECT_NE(r.out.find(key), std::string::npos) << key;
    }
    EXPECT_NE(dir_.read("vorntest.log").find("DiskRwBenchmark parameters (card.img )"),
              std::string::npos);
}

TEST_F(DeviceCommands, WriteBenchAsksFirstAndLeavesTheImageAloneOnNo) {
    const CliRun refused = run("bench --device card.img --write --block 4096 --timed 65536");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("qkvorn-cli: bench: cancelled"), std::string::npos);
    std::ifstream in(image_, std::ios::binary);
    in.seekg(16 * 1024 * 1024 - 1);
    EXPECT_EQ(in.get(), 0x5A);

    const CliRun done = run("bench --device card.img --write --block 4096 --timed 65536 --yes");
    EXPECT_EQ(done.exitCode, 0) << done.err;
}

TEST_F(DeviceCommands, AccessPrintsHundredthsOfMilliseconds) {
    const CliRun r = run("access --device card.img --sequential --count 64 --json");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"status\": 1, \"max\": ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"mean\": "), std::string::npos);
}

TEST_F(DeviceCommands, BadArgumentsAreOneLineErrors) {
    const struct {
        const char* arguments;
        int code;
        const char* message;
    } cases[] = {
        {"bench --device card.img --block 4096", 2, "give either --read or --write"},
        {"bench --device card.img --read", 2, "--block BYTES is required"},
        {"bench --read --block 4096", 2, "give either --drive N or --device PATH"},
        {"bench --device missing.img --read --block 4096", 2, "'missing.img' does not open"},
        {"bench --device card.img --read --block 1000", 1, "block/zone sizes not acceptable"},
        {"access --device card.img --count x", 2, "--count needs a whole number"},
        {"access --device card.img --count 0", 2, "--count must be at least 1"},
        // Sizes no buffer or sample table could hold are usage errors, not device faults.
        {"bench --device card.img --read --block 2147483648", 2,
         "--block needs a whole number up to 67108864"},
        {"access --device card.img --count 4294967295", 2,
         "--count needs a whole number up to 1000000"},
        {"", 2, "qkvorn-cli: no command given (see 'qkvorn-cli --help')"},
        {"bogus", 2, "qkvorn-cli: unknown command 'bogus' (see 'qkvorn-cli --help')"},
        {"info 31", 2, "usage: qkvorn-cli info DRIVE"},
        {"run", 2, "give one of --drive N, --device PATH or --demo"},
        {"run --demo --device card.img", 2, "give one of"},
        {"run --device card.img extra", 2, "unexpected argument"},
        {"run --drive 31", 2, "run:"},
        {"run --device missing.img", 1, "'missing.img' does not open"},
    };
    for (const auto& c : cases) {
        const CliRun r = run(c.arguments);
        EXPECT_EQ(r.exitCode, c.code) << c.arguments;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
        // A usage error is one line that says where the usage is.
        if (c.code == 2) {
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
        }
    }
}

}  // namespace
}  // namespace vorn::test
