#pragma once

namespace vorn::platform {

// The version compiled into the program, for example "1.0.0.1".
const char* programVersion();

}  // namespace vorn::platform
