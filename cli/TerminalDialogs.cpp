#include "cli/TerminalDialogs.h"

#include <unistd.h>

#include <cstdio>

#include "cli/SignalCancel.h"

namespace vorn::cli {
namespace {

void say(const char* kind, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", kind, text.c_str());
}

}  // namespace

void TerminalQuestions::error(const std::string& text) {
    say("Error", text);
}
void TerminalQuestions::warning(const std::string& text) {
    say("Warning", text);
}
void TerminalQuestions::information(const std::string& text) {
    say("Information", text);
}
void TerminalQuestions::plain(const std::string& caption, const std::string& text) {
    say(caption.c_str(), text);
}

bool TerminalQuestions::question(const std::string& text) {
    // A cancelled command agrees to nothing more.
    if (cancelRequested()) {
        return false;
    }
    std::fprintf(stderr, "%s [y/N] ", text.c_str());
    if (yes_) {
        std::fprintf(stderr, "yes (--yes)\n");
        return true;
    }
    // Without a person to answer, nothing destructive is agreed to.
    if (isatty(STDIN_FILENO) == 0) {
        std::fprintf(stderr, "no (no terminal; --yes answers yes)\n");
        return false;
    }
    char answer[16] = {};
    return std::fgets(answer, sizeof answer, stdin) != nullptr &&
           (answer[0] == 'y' || answer[0] == 'Y');
}

}  // namespace vorn::cli
