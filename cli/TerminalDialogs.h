#pragma once

#include <string>

#include "base/Dialogs.h"

namespace vorn::cli {

// Boxes become lines on stderr; questions are asked there and read from stdin. With
// `yes` every question is answered yes; without a terminal to ask, no.
class TerminalQuestions : public I_Dialogs {
public:
    explicit TerminalQuestions(bool yes) : yes_(yes) {}
    void error(const std::string& text) override;
    void warning(const std::string& text) override;
    void information(const std::string& text) override;
    void plain(const std::string& caption, const std::string& text) override;
    bool question(const std::string& text) override;

private:
    bool yes_;
};

}  // namespace vorn::cli
