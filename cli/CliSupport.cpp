#include "cli/CliSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/FileKind.h"

namespace vorn::cli {

bool parseUnsigned(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed > max) {
        return false;
    }
    *value = parsed;
    return true;
}

std::string jsonEscaped(const std::string& bytes) {
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", byte);
            out += code;
        }
    }
    return out;
}

ProgressBar::ProgressBar(std::string label)
    : label_(std::move(label)), terminal_(isatty(STDERR_FILENO) != 0) {}

ProgressBar::~ProgressBar() {
    if (terminal_ && shown_ >= 0) {
        std::fputc('\n', stderr);
    }
}

void ProgressBar::update(uint32_t percent) {
    const int clamped = static_cast<int>(std::min<uint32_t>(percent, 100));
    if (!terminal_ || clamped == shown_) {
        return;
    }
    shown_ = clamped;
    const int filled = clamped * 30 / 100;
    std::fprintf(stderr, "\r%-28.28s [%-30s] %3d%%", label_.c_str(),
                 std::string(static_cast<size_t>(filled), '#').c_str(), clamped);
    std::fflush(stderr);
}

std::string openFailure(const std::string& path, const char* what) {
    std::string why;
    const int fd = platform::openRegularForReading(path.c_str(), &why);
    if (fd < 0) {
        return "cannot open " + path + ": " + why;
    }
    ::close(fd);
    return "cannot open " + path + " as " + what;
}

int failWith(const char* command, const std::string& message, int code) {
    // Exit code 2 is a usage error: one line, and where the usage is.
    std::fprintf(stderr, "qkvorn-cli: %s: %s%s\n", command, message.c_str(),
                 code == 2 ? kHelpHint : "");
    return code;
}

}  // namespace vorn::cli
