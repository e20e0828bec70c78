#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vorn::cli {

// Takes options out of a command's arguments one by one; whatever is left must be
// positional. Errors are kept and reported once by the caller.
class ArgParser {
public:
    ArgParser(int argc, char** argv) : args_(argv, argv + argc) {}

    bool takeFlag(const char* name);
    // "--name VALUE"; false when absent (or, with an error kept, when the value is missing).
    bool takeValue(const char* name, std::string* value);
    // A whole number in [0, max]; false when absent or invalid (the latter keeps an error).
    bool takeUnsigned(const char* name, uint64_t* value, uint64_t max = UINT32_MAX);
    // The remaining arguments; an unknown option there becomes the error.
    std::vector<std::string> positionals();

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    void fail(const std::string& message) {
        if (error_.empty()) {
            error_ = message;
        }
    }

private:
    std::vector<std::string> args_;
    std::string error_;
};

// A whole decimal number in [0, max].
bool parseUnsigned(const std::string& text, uint64_t max, uint64_t* value);

// A JSON string body: '"' and '\' escaped, anything but printable ASCII as \u00XX.
std::string jsonEscaped(const std::string& bytes);

// A one-line progress bar on stderr, redrawn only when the percentage changes and
// only when stderr is a terminal.
class ProgressBar {
public:
    explicit ProgressBar(std::string label);
    ~ProgressBar();
    void update(uint32_t percent);

private:
    std::string label_;
    int shown_ = -1;
    bool terminal_;
};

// Why an input file did not open as `what` ("a result or library file"): not a
// regular file, not there, or not of that kind.
std::string openFailure(const std::string& path, const char* what);

// Prints "qkvorn-cli: <command>: <message>" to stderr and answers the exit code.
// Ends a usage error's line.
inline constexpr const char* kHelpHint = " (see 'qkvorn-cli --help')";

int failWith(const char* command, const std::string& message, int code = 1);

}  // namespace vorn::cli
