#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/RunView.h"

namespace vorn::test {

// A progress view that records what a run showed. Its poll pause is a millisecond at
// most, and a test can ask for a cancel at a chosen moment through the hook.
class RecordingRunView : public I_RunView {
public:
    struct Label {
        RunRow row;
        std::string text;
    };
    struct State {
        RunRow row;
        RowState state;
    };

    void clearCancel() override { cancel = false; }
    bool cancelRequested() override {
        if (cancelWhen && cancelWhen(*this)) {
            cancel = true;
        }
        return cancel;
    }
    void setRowState(RunRow row, RowState state) override { states.push_back({row, state}); }
    void setRowLabel(RunRow row, const std::string& text) override {
        labels.push_back({row, text});
        if (onLabel) {
            onLabel(row, text);
        }
    }
    void setRowActive(RunRow, bool) override {}
    void setWriteRow(bool visible, bool enabled) override {
        writeRowVisible = visible;
        writeRowEnabled = enabled;
    }
    void setButtonCaption(const std::string& text) override { caption = text; }
    void setProgressVisible(bool visible) override { progressVisible = visible; }
    void setProgress(uint32_t percent) override { progress.push_back(percent); }
    void showView(bool visible) override { shown.push_back(visible); }
    void sleepMs(uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds > 0 ? 1 : 0));
    }

    // The last label set on a row, or "" when none was.
    std::string lastLabel(RunRow row) const {
        for (auto it = labels.rbegin(); it != labels.rend(); ++it) {
            if (it->row == row) {
                return it->text;
            }
        }
        return {};
    }
    // The states a row went through, in order.
    std::vector<RowState> statesOf(RunRow row) const {
        std::vector<RowState> out;
        for (const State& s : states) {
            if (s.row == row) {
                out.push_back(s.state);
            }
        }
        return out;
    }

    // Asked on every cancel check; answering true sets the cancel flag.
    std::function<bool(const RecordingRunView&)> cancelWhen;
    // Told of every label as it is set, before the step under it starts.
    std::function<void(RunRow, const std::string&)> onLabel;

    bool cancel = false;
    std::vector<Label> labels;
    std::vector<State> states;
    std::vector<uint32_t> progress;
    std::vector<bool> shown;
    std::string caption;
    bool writeRowVisible = false;
    bool writeRowEnabled = false;
    bool progressVisible = false;
};

}  // namespace vorn::test
