#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

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

// How long the waiting loop pauses between two looks at a transfer: short enough to
// end soon after it, long enough not to burn a processor while it runs.
inline constexpr std::chrono::milliseconds kNoticePollPause{5};

// Waits on the calling thread until `done()` answers true. The windows call the
// transfers from a worker of their own, never from the interface thread, so nothing
// here keeps an interface alive.
template <typename Done>
void waitForTransfer(Done done) {
    while (!done()) {
        std::this_thread::sleep_for(kNoticePollPause);
    }
}

}  // namespace vorn
