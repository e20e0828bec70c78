#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/Dialogs.h"
#include "cli/CliSupport.h"
#include "cli/SignalCancel.h"
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
        if (cancelRequested()) {
            return false;
        }
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

// The notice window as a line on stderr each time it is shown, and a progress bar
// on a terminal while a large file arrives.
class NetNotice : public I_NoticeView {
public:
    void setNoticeText(const std::string& text) override { text_ = text; }
    void showNotice() override { std::fprintf(stderr, "%s\n", text_.c_str()); }
    void hideNotice() override { bar_.reset(); }
    void setProgress(uint64_t received, uint64_t expected) override {
        if (expected < kLargeFile) {
            return;
        }
        if (!bar_) {
            bar_ = std::make_unique<ProgressBar>(text_);
        }
        bar_->update(static_cast<uint32_t>(received * 100 / expected));
    }

private:
    // Below this a download is over before a bar would be read.
    static constexpr uint64_t kLargeFile = 1u << 20;
    std::string text_;
    std::unique_ptr<ProgressBar> bar_;
};

}  // namespace vorn::cli
