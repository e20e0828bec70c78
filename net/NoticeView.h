#pragma once

#include <cstdint>
#include <string>

namespace vorn {

// The small notice window that says what a download or an upload is doing. The
// windows implement it with TformUpload, seen from the worker the transfer runs on;
// the terminal front end and the tests with their own.
class I_NoticeView {
public:
    virtual ~I_NoticeView() = default;
    // Sets the notice text (the window centres it).
    virtual void setNoticeText(const std::string& text) = 0;
    virtual void showNotice() = 0;
    virtual void hideNotice() = 0;
    // How far the transfer has come (expected 0: size unknown). Shown by those that
    // can; a window keeps its text only.
    virtual void setProgress(uint64_t received, uint64_t expected) {
        (void)received;
        (void)expected;
    }
};

}  // namespace vorn
