#pragma once

#include <string>

namespace vorn {

// Modal message boxes and questions. The windows use a Qt implementation; tests use
// a scripted one, so every dialog path runs without a person; the terminal front end
// asks on the terminal.
class I_Dialogs {
public:
    virtual ~I_Dialogs() = default;
    // Error box with an OK button.
    virtual void error(const std::string& text) = 0;
    // Warning box with an OK button.
    virtual void warning(const std::string& text) = 0;
    // Information box with an OK button.
    virtual void information(const std::string& text) = 0;
    // Confirmation box with Yes and No buttons; true for Yes.
    virtual bool question(const std::string& text) = 0;
    // A question whose Yes destroys data on `drive` (its list text): No is the default
    // answer, so Enter never wipes a medium, and the drive stands on a line of its own
    // below the question.
    virtual bool destructiveQuestion(const std::string& text, const std::string& drive) {
        return question(text + "\n" + drive);
    }
    // Plain box with an OK button and the given caption (the start-up refusals).
    virtual void plain(const std::string& caption, const std::string& text) = 0;
    // File-save dialog for a result file (*.qkc), opening in the current folder with
    // `proposed` as the name and asking before an existing file is replaced. Answers
    // the chosen path, or an empty text when the user cancelled; front ends without
    // such a dialog cancel.
    virtual std::string saveFileName(const std::string& /*proposed*/) { return {}; }
};

}  // namespace vorn
