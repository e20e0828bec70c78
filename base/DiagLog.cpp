#include "base/DiagLog.h"

#include <cxxabi.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>

#include "platform/FileKind.h"

namespace vorn {
namespace {

// Opened and closed by one thread at a time (the test run's worker opens its log and
// the interface thread closes it after the worker has ended); other threads only
// read it, so an atomic pointer is all the coordination needed.
std::atomic<FILE*> g_log{nullptr};
// Set for good once a log could not be created or written.
std::atomic<bool> g_logFailed{false};

constexpr size_t kLineBuffer = 1024;

// The demangled class name of an exception object, e.g. "std::runtime_error".
void className(const std::exception& exception, char* out, size_t size) {
    const char* mangled = typeid(exception).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    std::snprintf(out, size, "%s", status == 0 && demangled ? demangled.get() : mangled);
}

}  // namespace

void openLog(const char* fileName) {
    if (g_log.load(std::memory_order_acquire) != nullptr || fileName == nullptr) {
        return;
    }
    // A FIFO would block the program and a device or link must not be written over.
    const std::string kind = platform::nonRegularKind(fileName);
    FILE* file = kind.empty() ? std::fopen(fileName, "w") : nullptr;
    if (file == nullptr) {
        g_logFailed.store(true);
    }
    g_log.store(file, std::memory_order_release);
}

bool logWriteFailed() {
    return g_logFailed.load();
}

void closeLog() {
    FILE* file = g_log.exchange(nullptr, std::memory_order_acq_rel);
    if (file != nullptr) {
        const bool failed = std::ferror(file) != 0;
        if (std::fclose(file) != 0 || failed) {
            g_logFailed.store(true);
        }
    }
}

void logMessage(const char* format, ...) {
    FILE* file = g_log.load(std::memory_order_acquire);
    if (file == nullptr) {
        return;
    }
    char line[kLineBuffer];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    // One formatted write per line, so lines of two threads never interleave.
    if (std::fprintf(file, "%s\n", line) < 0) {
        g_logFailed.store(true);
    }
}

void logException(const char* place, const std::exception& exception) {
    char name[256];
    className(exception, name, sizeof name);
    logMessage("EXCEPTION: %s %s %s", place, name, exception.what());
}

void logUnknownException(const char* place, int code) {
    logMessage("SEH EXCEPTION: %s %d", place, code);
}

}  // namespace vorn
