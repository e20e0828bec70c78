#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/Dialogs.h"
#include "net/NoticeView.h"

namespace vorn::cli {

// The Internet functions' boxes on a terminal: their texts on stdout, questions on
// stderr with the answer read from stdin (a line starting with y), or yes by --yes.
class NetDialogs : public I_Dialogs {
public:
    explicit NetDialogs(bool yes) : yes_(yes) {}
    void error(const std::string& text) override { std::printf("%s\n", text.c_str()); }
    void warning(const std::string& text) override { std::printf("%s\n", text.c_str()); }
    void information(const std::string& text) override { std::printf("%s\n", text.c_str()); }
    void plain(const std::string&, const std::string& text) override {
        std::printf("%s\n", text.c_str());
    }
    bool question(const std::string& text) override {
        std::fflush(stdout);
        std::fprintf(stderr, "%s [y/N] ", text.c_str());
        if (yes_) {
            std::fprintf(stderr, "yes (--yes)\n");
            return true;
        }
        char answer[16] = {};
        if (std::fgets(answer, sizeof answer, stdin) == nullptr) {
            std::fprintf(stderr, "no (no answer; --yes answers yes)\n");
            return false;
        }
        return answer[0] == 'y' || answer[0] == 'Y';
    }

private:
    bool yes_;
};

// The notice window as a line on stderr each time it is shown.
class NetNotice : public I_NoticeView {
public:
    void setNoticeText(const std::string& text) override { text_ = text; }
    void showNotice() override { std::fprintf(stderr, "%s\n", text_.c_str()); }
    void hideNotice() override {}
    void processEvents() override {}

private:
    std::string text_;
};

}  // namespace vorn::cli
