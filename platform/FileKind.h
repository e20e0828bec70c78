#pragma once

#include <string>

namespace vorn::platform {

// What a path names when it is not a regular file ("a FIFO", "a directory", ...), by
// the path itself (a symbolic link is not followed); empty when it is a regular file
// or missing. Outputs are never written over such a thing: a FIFO would block, and a
// device, a link's target or a folder would be destroyed.
std::string nonRegularKind(const char* path);

// Opens a file for reading only when it is a regular file, without blocking on a
// FIFO (O_NONBLOCK, then fstat). The descriptor, or -1 with `why` (when given) saying
// what was wrong.
int openRegularForReading(const char* path, std::string* why = nullptr);

}  // namespace vorn::platform
