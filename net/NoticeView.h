#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace vorn {

// The small notice window that says what a download or an upload is doing. The
// windows implement it with TformUpload; the terminal front end and the tests with
// their own.
class I_NoticeView {
public:
    virtual ~I_NoticeView() = default;
    // Sets the notice text (the window centres it).
    virtual void setNoticeText(const std::string& text) = 0;
    virtual void showNotice() = 0;
    virtual void hideNotice() = 0;
    // Keeps the interface alive while the caller waits.
    virtual void processEvents() = 0;
    // How far the transfer has come (expected 0: size unknown). Shown by those that
    // can; a window keeps its text only.
    virtual void setProgress(uint64_t received, uint64_t expected) {
        (void)received;
        (void)expected;
    }
};

// How long the waiting loops pause between two looks at a worker: short enough to
// keep windows responsive, long enough not to burn a processor while a transfer runs.
inline constexpr std::chrono::milliseconds kNoticePollPause{5};

// Waits until `done()` answers true, keeping the interface alive.
template <typename Done>
void waitWithNotice(I_NoticeView& notice, Done done) {
    while (!done()) {
        notice.processEvents();
        std::this_thread::sleep_for(kNoticePollPause);
    }
}

}  // namespace vorn
