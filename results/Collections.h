#pragma once

#include <memory>

#include "base/VornCollection.h"

namespace vorn {

// A result file or library opened for reading, or nullptr. Paths naming a library
// (".QKL" or ".WPL" anywhere, in any case) are tried as a library first.
std::unique_ptr<I_VornCollection> openCollection(const char* path);

// A new result file in write mode, or nullptr when it cannot be created.
std::unique_ptr<I_VornCollection> createCollection(const char* path);

}  // namespace vorn
