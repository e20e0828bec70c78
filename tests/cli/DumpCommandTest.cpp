#include <gtest/gtest.h>

#include <string>

#include "cli/CliRun.h"
#include "tests/results/ResultBytes.h"

// Runs the built qkvorn-cli as a script would and checks what it prints.
namespace vorn::test {
namespace {

const std::string kSmall =
    resultBytes({{"DRIVEID", "Key", ""}, {"QKCTIME", {}, std::string("\x60\x12\x3a\x5f", 4)}});

// Whole JSON answers, escapes of bytes that are not printable ASCII, repeated names
// with their own values, library members by index, and the text listing.
TEST(DumpCommand, PrintsEveryEntryOfAResultOrLibraryMember) {
    TempFolder folder;
    folder.write("r.qkc", kSmall);
    folder.write("e.qkc", resultBytes({{"N\x01\x7F", std::string("q\"b\\t\te\xE9", 8), ""}}));
    folder.write("d.qkc", resultBytes({{"NOTE", "first", ""}, {"NOTE", "second", "ab"}}));
    folder.write("lib.QKL", libraryBytes({kSmall, resultBytes({{"DRIVEID", "Second", ""}})}));
    const struct {
        const char* arguments;
        bool whole;  // the output is exactly the one part
        std::vector<std::string> expected;
    } cases[] = {
        {"dump --json r.qkc",
         true,
         {"{\"kind\": \"result\", \"members\": 1, \"member\": 0, \"entries\": ["
          "{\"name\": \"DRIVEID\", \"value\": \"Key\", \"data_length\": 0, \"data_hex\": null}, "
          "{\"name\": \"QKCTIME\", \"value\": null, \"data_length\": 4, "
          "\"data_hex\": \"60123a5f\"}]}\n"}},
        {"dump e.qkc --json",
         false,
         {"\"name\": \"N\\u0001\\u007f\", \"value\": \"q\\\"b\\\\t\\u0009e\\u00e9\""}},
        {"dump --json d.qkc",
         false,
         {"{\"name\": \"NOTE\", \"value\": \"first\", \"data_length\": 0",
          "{\"name\": \"NOTE\", \"value\": \"second\", \"data_length\": 2, "
          "\"data_hex\": \"6162\"}"}},
        {"dump lib.QKL --member 1 --json",
         true,
         {"{\"kind\": \"library\", \"members\": 2, \"member\": 1, \"entries\": ["
          "{\"name\": \"DRIVEID\", \"value\": \"Second\", \"data_length\": 0, "
          "\"data_hex\": null}]}\n"}},
        {"dump r.qkc",
         false,
         {"result file", "DRIVEID\n  value: \"Key\"\n  data: 0 bytes\n",
          "QKCTIME\n  value: none\n  data: 4 bytes\n", "60123a5f"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = runCli(folder.path().string(), c.arguments);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        for (const std::string& part : c.expected) {
            if (c.whole) {
                EXPECT_EQ(run.out, part);
            } else {
                EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
            }
        }
    }
}

TEST(DumpCommand, FailuresExitNonZeroWithOneLine) {
    TempFolder folder;
    std::string damaged = kSmall;
    damaged[9] ^= 1;
    folder.write("bad.qkc", damaged);
    folder.write("r.qkc", kSmall);
    const struct {
        const char* arguments;
        int exitCode;
        std::string jsonError;  // empty: no JSON expected on stdout
    } rows[] = {
        {"dump --json missing.qkc", 1, "cannot open"},
        {"dump --json bad.qkc", 1, "cannot open"},
        {"dump --json --member 1 r.qkc", 1, "member 1 is out of range"},
        {"dump bad.qkc", 1, ""},
        {"dump", 2, ""},
        {"dump --member", 2, ""},
        {"dump --member -1 r.qkc", 2, ""},
        {"dump --bogus r.qkc", 2, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.arguments);
        const CliRun run = runCli(folder.path().string(), row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode);
        // One line: on stderr, or the JSON error object on stdout.
        const std::string& line = row.jsonError.empty() ? run.err : run.out;
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
        if (row.jsonError.empty()) {
            EXPECT_EQ(run.out, "");
        } else {
            EXPECT_EQ(run.out.rfind("{\"error\": \"" + row.jsonError, 0), 0u) << run.out;
        }
    }
}

}  // namespace
}  // namespace vorn::test
