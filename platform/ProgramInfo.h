#pragma once

namespace vorn::platform {

// The version compiled into the program, for example "1.0.0.1".
const char* programVersion();

// The program's own file names: the version is answered for these only.
bool isProgramFileName(const char* name);

}  // namespace vorn::platform
