#include <cctype>
#include <string>

#include "results/Collections.h"
#include "results/VornDiskCollection.h"
#include "results/VornLibraryCollection.h"

namespace vorn {

namespace {

bool namesLibrary(const char* path) {
    std::string upper(path);
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper.find(".WPL") != std::string::npos || upper.find(".QKL") != std::string::npos;
}

}  // namespace

std::unique_ptr<I_VornCollection> openCollection(const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    if (namesLibrary(path)) {
        auto library = std::make_unique<VornLibraryCollection>();
        if (library->open(path)) {
            return library;
        }
    }
    auto file = std::make_unique<VornDiskCollection>();
    if (file->open(path)) {
        return file;
    }
    return nullptr;
}

std::unique_ptr<I_VornCollection> createCollection(const char* path) {
    auto file = std::make_unique<VornDiskCollection>();
    if (path == nullptr || !file->create(path)) {
        return nullptr;
    }
    return file;
}

}  // namespace vorn
