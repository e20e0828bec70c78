#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace vorn::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built qkvorn-cli as a script would, in `folder` (its files land there),
// with standard input closed, and keeps what it printed.
inline CliRun runCli(const std::string& folder, const std::string& arguments) {
    const std::string out = folder + "/out.txt";
    const std::string err = folder + "/err.txt";
    const std::string command = "cd '" + folder + "' && '" + VORN_CLI_PATH + "' " + arguments +
                                " </dev/null >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readText(out);
    run.err = readText(err);
    return run;
}

}  // namespace vorn::test
