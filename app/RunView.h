#pragma once

#include <cstdint>
#include <string>

namespace vorn {

// The four rows of the progress display.
enum class RunRow { Test, Read, Write, Access };

// A row's state icon: none, running, passed or failed.
enum class RowState { Hidden, Running, Passed, Failed };

// What a test run shows while it works: the progress window, a terminal, or a test's
// recorder. The run sets every visible property; the view keeps only the cancel flag.
// The run may call it from a worker thread: a window view passes the calls on to its
// own thread and keeps the cancel flag atomic.
class I_RunView {
public:
    virtual ~I_RunView() = default;

    virtual void clearCancel() = 0;
    virtual bool cancelRequested() = 0;

    virtual void setRowState(RunRow row, RowState state) = 0;
    virtual void setRowLabel(RunRow row, const std::string& text) = 0;
    // A running step's label shows in the active-caption colour.
    virtual void setRowActive(RunRow row, bool active) = 0;
    // The write row is greyed out (disabled) without the write test.
    virtual void setWriteRow(bool visible, bool enabled) = 0;
    virtual void setButtonCaption(const std::string& text) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgress(uint32_t percent) = 0;
    virtual void showView(bool visible) = 0;

    // The poll's pause between status checks, on the run's thread (tests make it short).
    virtual void sleepMs(uint32_t milliseconds) = 0;
};

}  // namespace vorn
