#include "platform/ProgramInfo.h"

#include "BuildInfo.h"

namespace vorn::platform {

const char* programVersion() {
    return VORN_VERSION_TEXT;
}

}  // namespace vorn::platform
