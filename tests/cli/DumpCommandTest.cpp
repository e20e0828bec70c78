#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "cli/CliRun.h"
#include "tests/results/ResultBytes.h"

// Runs the built qkvorn-cli as a script would and checks what it prints.
namespace vorn::test {
namespace {

const std::string kSmall =
    resultBytes({{"DRIVEID", "Key", ""}, {"QKCTIME", {}, std::string("\x60\x12\x3a\x5f", 4)}});

TEST(DumpCommand, JsonOfASmallResultFile) {
    TempFolder folder;
    const std::string path = folder.write("r.qkc", kSmall);
    const CliRun run = runCli(folder.path().string(), "dump --json '" + path + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(
        run.out,
        "{\"kind\": \"result\", \"members\": 1, \"member\": 0, \"entries\": ["
        "{\"name\": \"DRIVEID\", \"value\": \"Key\", \"data_length\": 0, \"data_hex\": null}, "
        "{\"name\": \"QKCTIME\", \"value\": null, \"data_length\": 4, "
        "\"data_hex\": \"60123a5f\"}]}\n");
    EXPECT_EQ(run.err, "");
}

TEST(DumpCommand, EscapesBytesThatAreNotPrintableAscii) {
    TempFolder folder;
    const std::string path =
        folder.write("e.qkc", resultBytes({{"N\x01\x7F", std::string("q\"b\\t\te\xE9", 8), ""}}));
    const CliRun run = runCli(folder.path().string(), "dump '" + path + "' --json");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("\"name\": \"N\\u0001\\u007f\", "
                           "\"value\": \"q\\\"b\\\\t\\u0009e\\u00e9\""),
              std::string::npos)
        << run.out;
}

TEST(DumpCommand, RepeatedNamesShowTheirOwnValues) {
    TempFolder folder;
    const std::string path =
        folder.write("d.qkc", resultBytes({{"NOTE", "first", ""}, {"NOTE", "second", "ab"}}));
    const CliRun run = runCli(folder.path().string(), "dump --json '" + path + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("{\"name\": \"NOTE\", \"value\": \"first\", \"data_length\": 0"),
              std::string::npos);
    EXPECT_NE(run.out.find("{\"name\": \"NOTE\", \"value\": \"second\", \"data_length\": 2, "
                           "\"data_hex\": \"6162\"}"),
              std::string::npos)
        << run.out;
}

TEST(DumpCommand, LibraryMembersAreChosenByIndex) {
    TempFolder folder;
    const std::string member1 = resultBytes({{"DRIVEID", "Second", ""}});
    const std::string path = folder.write("lib.QKL", libraryBytes({kSmall, member1}));
    const CliRun run = runCli(folder.path().string(), "dump '" + path + "' --member 1 --json");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "{\"kind\": \"library\", \"members\": 2, \"member\": 1, \"entries\": ["
              "{\"name\": \"DRIVEID\", \"value\": \"Second\", \"data_length\": 0, "
              "\"data_hex\": null}]}\n");
}

TEST(DumpCommand, TextListingShowsEachEntry) {
    TempFolder folder;
    const std::string path = folder.write("r.qkc", kSmall);
    const CliRun run = runCli(folder.path().string(), "dump '" + path + "'");
    EXPECT_EQ(run.exitCode, 0);
    for (const char* expected : {"result file", "DRIVEID\n  value: \"Key\"\n  data: 0 bytes\n",
                                 "QKCTIME\n  value: none\n  data: 4 bytes\n", "60123a5f"}) {
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
    }
}

TEST(DumpCommand, FailuresExitNonZeroWithOneLine) {
    TempFolder folder;
    std::string damaged = kSmall;
    damaged[9] ^= 1;
    folder.write("bad.qkc", damaged);
    folder.write("r.qkc", kSmall);
    const struct {
        std::string arguments;
        int exitCode;
        std::string jsonError;  // empty: no JSON expected on stdout
    } rows[] = {
        {"dump --json '" + folder.file("missing.qkc") + "'", 1, "cannot open"},
        {"dump --json '" + folder.file("bad.qkc") + "'", 1, "cannot open"},
        {"dump --json --member 1 '" + folder.file("r.qkc") + "'", 1, "member 1 is out of range"},
        {"dump '" + folder.file("bad.qkc") + "'", 1, ""},
        {"dump", 2, ""},
        {"dump --member", 2, ""},
        {"dump --member -1 '" + folder.file("r.qkc") + "'", 2, ""},
        {"dump --bogus '" + folder.file("r.qkc") + "'", 2, ""},
    };
    for (const auto& row : rows) {
        const CliRun run = runCli(folder.path().string(), row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.arguments;
        if (row.jsonError.empty()) {
            EXPECT_EQ(run.out, "") << row.arguments;
            ASSERT_FALSE(run.err.empty()) << row.arguments;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << row.arguments;
        } else {
            EXPECT_EQ(run.out.rfind("{\"error\": \"" + row.jsonError, 0), 0u) << run.out;
            EXPECT_EQ(run.out.back(), '\n');
            EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
        }
    }
}

}  // namespace
}  // namespace vorn::test
