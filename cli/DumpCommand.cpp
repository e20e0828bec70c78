#include <cstdio>

#include "cli/Commands.h"

namespace vorn::cli {

int runDump(int, char**) {
    std::fprintf(stderr, "qkvorn-cli: dump: not built yet\n");
    return 1;
}

}  // namespace vorn::cli
