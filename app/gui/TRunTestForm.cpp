#include "app/gui/TRunTestForm.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <chrono>
#include <thread>

#include "base/gui/WindowLayout.h"
#include "base/gui/WindowPlacement.h"

namespace vorn {

namespace {

constexpr int kIconSize = 20;

QLabel* newPicture(QWidget* parent, const char* name) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(name);
    picture->setFixedSize(kIconSize, kIconSize);
    picture->setAttribute(Qt::WA_TranslucentBackground);
    return picture;
}

QLabel* newStatePicture(QWidget* parent, const char* name, QStyle::StandardPixmap icon) {
    QLabel* picture = newPicture(parent, name);
    picture->setPixmap(parent->style()->standardIcon(icon).pixmap(kIconSize, kIconSize));
    picture->hide();
    return picture;
}

QLabel* newLabel(QWidget* parent, const char* name, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(name);
    return label;
}

// Hidden icons, labels and the progress bar keep their place, so the rows never move.
void keepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

}  // namespace

TRunTestForm::TRunTestForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("TRunTestForm");
    setWindowTitle("QK Vorn - Executing Test");
    fixClientSize(this, layout::kProgress);
    createControls();
    arrangeControls();
    connect(btnCancelOk, &QPushButton::clicked, this, &TRunTestForm::btnCancelOkClick);
    hide();
}

TRunTestForm::~TRunTestForm() = default;

void TRunTestForm::createControls() {
    imX = newStatePicture(this, "imX", QStyle::SP_DialogCancelButton);
    imPlay = newStatePicture(this, "imPlay", QStyle::SP_MediaPlay);
    imCheck = newStatePicture(this, "imCheck", QStyle::SP_DialogApplyButton);
    lTest = newLabel(this, "lTest", "Testing Flash Device");
    lRead = newLabel(this, "lRead", "Read Test (x block)");
    lWrite = newLabel(this, "lWrite", "Write Test (x block)");
    imTest = newPicture(this, "imTest");
    imRead = newPicture(this, "imRead");
    imWrite = newPicture(this, "imWrite");
    lAccess = newLabel(this, "lAccess", "Access Time Test");
    imAccess = newPicture(this, "imAccess");
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->hide();
    btnCancelOk = new QPushButton("&Cancel", this);
    btnCancelOk->setObjectName("btnCancelOk");
    for (QWidget* widget : {static_cast<QWidget*>(imTest), static_cast<QWidget*>(imRead),
                            static_cast<QWidget*>(imWrite), static_cast<QWidget*>(imAccess),
                            static_cast<QWidget*>(lWrite), static_cast<QWidget*>(ProgressBar1)}) {
        keepPlaceWhenHidden(widget);
    }
}

void TRunTestForm::arrangeControls() {
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(32, 20, 32, 16);
    rows->setSpacing(12);
    for (RunRow row : {RunRow::Test, RunRow::Read, RunRow::Write, RunRow::Access}) {
        auto* line = new QHBoxLayout;
        line->setSpacing(10);
        line->addWidget(rowIcon(row));
        line->addWidget(rowLabel(row), 1);
        rows->addLayout(line);
    }
    rows->addStretch(1);
    rows->addWidget(ProgressBar1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnCancelOk);
    buttons->addStretch(1);
    rows->addLayout(buttons);
}

QLabel* TRunTestForm::rowIcon(RunRow row) const {
    switch (row) {
        case RunRow::Test:
            return imTest;
        case RunRow::Read:
            return imRead;
        case RunRow::Write:
            return imWrite;
        case RunRow::Access:
            return imAccess;
    }
    return imTest;
}

QLabel* TRunTestForm::rowLabel(RunRow row) const {
    switch (row) {
        case RunRow::Test:
            return lTest;
        case RunRow::Read:
            return lRead;
        case RunRow::Write:
            return lWrite;
        case RunRow::Access:
            return lAccess;
    }
    return lTest;
}

void TRunTestForm::setRowState(RunRow row, RowState state) {
    QLabel* icon = rowIcon(row);
    const QLabel* source = nullptr;
    switch (state) {
        case RowState::Hidden:
            break;
        case RowState::Running:
            source = imPlay;
            break;
        case RowState::Passed:
            source = imCheck;
            break;
        case RowState::Failed:
            source = imX;
            break;
    }
    if (source == nullptr) {
        icon->clear();
        icon->hide();
        return;
    }
    icon->setPixmap(source->pixmap());
    icon->show();
}

void TRunTestForm::setRowLabel(RunRow row, const std::string& text) {
    rowLabel(row)->setText(QString::fromStdString(text));
}

void TRunTestForm::setRowActive(RunRow row, bool active) {
    QLabel* label = rowLabel(row);
    QPalette colours = palette();
    if (active) {
        // Only the enabled groups: a greyed row stays grey.
        const QColor caption = colours.color(QPalette::Active, QPalette::Highlight);
        colours.setColor(QPalette::Active, QPalette::WindowText, caption);
        colours.setColor(QPalette::Inactive, QPalette::WindowText, caption);
    }
    label->setPalette(colours);
}

void TRunTestForm::setWriteRow(bool visible, bool enabled) {
    lWrite->setVisible(visible);
    lWrite->setEnabled(enabled);
}

void TRunTestForm::setButtonCaption(const std::string& text) {
    btnCancelOk->setText(QString::fromStdString(text));
}

void TRunTestForm::setProgressVisible(bool visible) {
    ProgressBar1->setVisible(visible);
}

void TRunTestForm::setProgress(uint32_t percent) {
    ProgressBar1->setValue(static_cast<int>(percent > 100 ? 100 : percent));
}

void TRunTestForm::showView(bool visible) {
    if (visible && !isVisible()) {
        centreOnScreen(this);
    }
    setVisible(visible);
    emit viewShown(visible);
}

void TRunTestForm::sleepMs(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void TRunTestForm::closeEvent(QCloseEvent* event) {
    // Only the run hides this window; closing it cancels the run as Cancel does, so
    // the medium and the logs end as after a cancelled step.
    cancelFlag.store(true, std::memory_order_release);
    event->ignore();
}

}  // namespace vorn
