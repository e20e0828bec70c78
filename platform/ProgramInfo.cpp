#include "platform/ProgramInfo.h"

#include <cstring>

#include "BuildInfo.h"

namespace vorn::platform {

const char* programVersion() {
    return VORN_VERSION_TEXT;
}

bool isProgramFileName(const char* name) {
    if (name == nullptr) {
        return false;
    }
    const char* base = std::strrchr(name, '/');
    base = base ? base + 1 : name;
    return std::strcmp(base, "qkvorn") == 0 || std::strcmp(base, "qkvorn.exe") == 0;
}

}  // namespace vorn::platform
