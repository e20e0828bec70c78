#pragma once

#include <deque>
#include <string>
#include <vector>

#include "base/Dialogs.h"

namespace vorn::test {

// Every box a dialog path showed, in order.
struct DialogBox {
    enum Kind { Error, Warning, Information, Question, Destructive, Plain, SaveFile };
    Kind kind;
    std::string text;          // a file-save dialog: the proposed name
    std::string caption = {};  // plain boxes only
    std::string drive = {};    // destructive questions: the drive named below the text

    // The drive is left to the tests that look for it.
    bool operator==(const DialogBox& other) const {
        return kind == other.kind && text == other.text && caption == other.caption;
    }
};

// Answers questions from a script (Yes = true), then with the default answer, and
// records every box.
class ScriptedDialogs : public I_Dialogs {
public:
    explicit ScriptedDialogs(std::deque<bool> answers = {}, bool otherwise = false)
        : answers_(std::move(answers)), otherwise_(otherwise) {}

    void error(const std::string& text) override { boxes.push_back({DialogBox::Error, text, {}}); }
    void warning(const std::string& text) override {
        boxes.push_back({DialogBox::Warning, text, {}});
    }
    void information(const std::string& text) override {
        boxes.push_back({DialogBox::Information, text, {}});
    }
    bool question(const std::string& text) override {
        boxes.push_back({DialogBox::Question, text, {}});
        return answer();
    }
    bool destructiveQuestion(const std::string& text, const std::string& drive) override {
        boxes.push_back({DialogBox::Destructive, text, {}, drive});
        return answer();
    }
    void plain(const std::string& caption, const std::string& text) override {
        boxes.push_back({DialogBox::Plain, text, caption});
    }

    // File-save dialogs answer from their own script (a path, or "" for Cancel),
    // then with Cancel.
    std::string saveFileName(const std::string& proposed) override {
        boxes.push_back({DialogBox::SaveFile, proposed, {}});
        if (savePaths.empty()) {
            return {};
        }
        std::string path = savePaths.front();
        savePaths.pop_front();
        return path;
    }

    std::vector<DialogBox> boxes;
    std::deque<std::string> savePaths;

private:
    bool answer() {
        if (answers_.empty()) {
            return otherwise_;
        }
        const bool yes = answers_.front();
        answers_.pop_front();
        return yes;
    }

    std::deque<bool> answers_;
    bool otherwise_;
};

}  // namespace vorn::test
