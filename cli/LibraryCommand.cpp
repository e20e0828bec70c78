// library: bundles result files into one library file.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "results/LibraryWriter.h"

namespace vorn::cli {

int runLibrary(int argc, char** argv) {
    CommandLine line("library", "Bundles result files into one library file.");
    std::vector<std::string> paths;
    line.positionals("FILES", &paths, "the library to write, then its result files");
    if (const auto code = line.parse(argc, argv)) {
        return *code;
    }
    if (paths.size() < 2) {
        return line.usageError("usage: qkvorn-cli library OUT.qkl FILE...");
    }
    const std::string out = paths.front();
    paths.erase(paths.begin());
    std::vector<std::string> problems;
    if (!writeLibrary(out, paths, &problems)) {
        for (const std::string& problem : problems) {
            std::fprintf(stderr, "qkvorn-cli: library: %s\n", problem.c_str());
        }
        return failWith("library", out + " was not written");
    }
    std::printf("%s: %zu member%s\n", out.c_str(), paths.size(), paths.size() == 1 ? "" : "s");
    return 0;
}

}  // namespace vorn::cli
