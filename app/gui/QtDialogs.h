#pragma once

#include <string>

#include "base/Dialogs.h"

class QWidget;

namespace vorn {

// Message boxes with Qt: modal, OK (or Yes/No) buttons, the application's name as
// the caption unless one is given.
class QtDialogs : public I_Dialogs {
public:
    // Boxes are centred on `parent` when one is given (it may change later).
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    void setParent(QWidget* parent) { parent_ = parent; }

    void error(const std::string& text) override;
    void warning(const std::string& text) override;
    void information(const std::string& text) override;
    bool question(const std::string& text) override;
    bool destructiveQuestion(const std::string& text, const std::string& drive) override;
    void plain(const std::string& caption, const std::string& text) override;
    std::string saveFileName(const std::string& proposed) override;

private:
    QWidget* parent_;
};

}  // namespace vorn
