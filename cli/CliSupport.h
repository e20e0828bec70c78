#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vorn::cli {

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
