#include "results/gui/TupdateDetails.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include "base/Dialogs.h"
#include "base/gui/WindowLayout.h"
#include "base/gui/WindowPlacement.h"
#include "results/gui/DetailsSaving.h"
#include "storage/DriveFacts.h"

namespace vorn {

namespace {

constexpr const char* kBusTypes[] = {"USB 1.1", "USB 2.0", "Laptop slot",
                                     "1394",    "ATA/IDE", "Other"};
constexpr const char* kNoBus = "- select one -";
constexpr const char* kSystemHeading[] = {"Motherboard manufacturer/model: <fill this in>", "",
                                          "Autodetected system information (chipset, etc) -"};
constexpr const char* kWhyText =
    "Your email address is not required, but in rare cases Velto Software may want to contact "
    "you about information in an uploaded benchmark result. If you do choose to provide your "
    "address we will not use ut for any other purpose. If you would like to be contacted by "
    "Velto Software for information about our software or updates an opt-in mailing list form "
    "is available on our web site.";

QString qt(const char* text) {
    return QString::fromUtf8(text);
}

std::string plain(const QString& text) {
    return text.toUtf8().toStdString();
}

// A memo's text with its lines joined by carriage return and line feed, as result
// files keep it.
std::string memoText(const QPlainTextEdit* memo) {
    QString text = memo->toPlainText();
    text.replace('\n', "\r\n");
    return plain(text);
}

template <typename Control>
Control* named(Control* control, const char* name) {
    control->setObjectName(name);
    return control;
}

QLabel* newLabel(QWidget* parent, const char* name, const char* caption) {
    auto* label = named(new QLabel(qt(caption), parent), name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* newButton(QWidget* parent, const char* name, const char* caption) {
    return named(new QPushButton(qt(caption), parent), name);
}

QPlainTextEdit* newMemo(QWidget* parent, const char* name) {
    auto* memo = named(new QPlainTextEdit(qt(name), parent), name);
    // Tab moves on to the next control, as in the other fields.
    memo->setTabChangesFocus(true);
    return memo;
}

}  // namespace

TupdateDetails::TupdateDetails(I_Dialogs& dialogs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      dialogs_(dialogs) {
    setObjectName("TupdateDetails");
    setWindowTitle("WP Vorn - Update Test Details");
    setModal(true);
    fixClientSize(this, layout::kDetails);
    createControls();
    arrangeControls();
    connectControls();
}

// The query's thread ends (machine_ joins it) before the window's posted calls go.
TupdateDetails::~TupdateDetails() = default;

void TupdateDetails::createControls() {
    lbDrive = newLabel(this, "lbDrive", "Device tested");
    lbBus = newLabel(this, "lbBus", "Bus type");
    lbProc = newLabel(this, "lbProc", "Processor");
    Label1 = newLabel(this, "Label1", "Device reader");
    lbSystem =
        newLabel(this, "lbSystem", "Add motherboard model, chipset and relevant system info.");
    Label2 = newLabel(this, "Label2",
                      "Notes (anything you may want to log or remember about the test or setup)");
    Label3 = newLabel(this, "Label3",
                      "Fill in as much of this information as you know.  Good benchmarks are "
                      "repeatable, and saving this data will help");
    Label4 = newLabel(this, "Label4",
                      "you, Velto Software, or another QK Vorn user to reproduce this benchmark "
                      "as closely as possible.  If you do");
    Label5 = newLabel(this, "Label5",
                      "not know this information it is ok to leave the default values, the "
                      "benchmark results will still be saved.");
    Label6 = newLabel(this, "Label6", "Please enter your email address");
    Label7 = newLabel(this, "Label7",
                      "The reader asked for below is the brand/model of the reader device, leave "
                      "blank for pen/keychain device.");
    btDone = newButton(this, "btDone", "&Done");
    btCancel = newButton(this, "btCancel", "&Cancel");
    cbBus = named(new QComboBox(this), "cbBus");
    cbBus->setEditable(false);
    cbBus->addItem(qt(kNoBus));
    edProc = named(new QLineEdit(this), "edProc");
    edReader = named(new QLineEdit(this), "edReader");
    memSystem = newMemo(this, "memSystem");
    memNotes = newMemo(this, "memNotes");
    edEmail = named(new QLineEdit("edEmail", this), "edEmail");
    btWhy = newButton(this, "btWhy", "&Why?");
    edDevice = named(new QLineEdit("edDevice", this), "edDevice");
    setUploadControlsVisible(false);
    chainTabOrder(this, layout::kDetails);
}

void TupdateDetails::arrangeControls() {
    // The introduction and the reader hint are long lines: they wrap rather than
    // being cut at the window's edge.
    for (QLabel* label : {Label3, Label4, Label5, Label7}) {
        label->setWordWrap(true);
    }
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 10, 12, 12);
    column->setSpacing(4);
    auto* introduction = new QVBoxLayout;
    introduction->setSpacing(0);
    for (QLabel* label : {Label3, Label4, Label5}) {
        introduction->addWidget(label);
    }
    column->addLayout(introduction);
    column->addSpacing(6);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(4);
    fields->addWidget(lbDrive, 0, 0);
    fields->addWidget(edDevice, 0, 1, 1, 2);
    fields->addWidget(lbBus, 1, 0);
    fields->addWidget(cbBus, 1, 1);
    fields->addWidget(lbProc, 2, 0);
    fields->addWidget(edProc, 2, 1, 1, 2);
    fields->addWidget(Label7, 3, 0, 1, 3);
    fields->addWidget(Label1, 4, 0);
    fields->addWidget(edReader, 4, 1, 1, 2);
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(2, 2);
    column->addLayout(fields);
    column->addSpacing(4);

    column->addWidget(lbSystem);
    column->addWidget(memSystem, 3);
    column->addWidget(Label2);
    column->addWidget(memNotes, 2);

    auto* email = new QHBoxLayout;
    email->addWidget(Label6);
    email->addWidget(edEmail, 1);
    email->addWidget(btWhy);
    column->addLayout(email);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btDone);
    buttons->addWidget(btCancel);
    column->addSpacing(4);
    column->addLayout(buttons);
}

void TupdateDetails::connectControls() {
    connect(btDone, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btWhy, &QPushButton::clicked, this, &TupdateDetails::btWhyClick);
}

void TupdateDetails::setHardwareRoots(std::string sysfsRoot, std::string procRoot) {
    sysfsRoot_ = std::move(sysfsRoot);
    procRoot_ = std::move(procRoot);
}

void TupdateDetails::setUploadControlsVisible(bool visible) {
    Label6->setVisible(visible);
    edEmail->setVisible(visible);
    btWhy->setVisible(visible);
}

void TupdateDetails::btWhyClick() {
    dialogs_.information(kWhyText);
}

void TupdateDetails::fillFields(I_DriveFacts& device) {
    lbDrive->setText("Drive tested: ");
    const char* id = device.deviceId();
    edDevice->setText(QString::fromUtf8(id != nullptr ? id : ""));
    cbBus->clear();
    for (const char* bus : kBusTypes) {
        cbBus->addItem(qt(bus));
    }
    // Nothing is chosen for the user: a bus they did not pick is not stored.
    cbBus->setPlaceholderText(qt(kNoBus));
    cbBus->setCurrentIndex(-1);
    edProc->clear();
    edProc->setModified(false);
    edReader->clear();
    memSystem->clear();
    memSystem->document()->setModified(false);
    showMachine({});
    memNotes->clear();
}

void TupdateDetails::askMachine() {
    MachineQueryJob::Query query = machineQuery_;
    if (!query) {
        query = [sysfs = sysfsRoot_, proc = procRoot_] { return describeMachine(sysfs, proc); };
    }
    machine_.start(std::move(query),
                   [this](const MachineDescription& machine) { showMachine(machine); });
}

// A field the user has typed in keeps what they typed.
void TupdateDetails::showMachine(const MachineDescription& machine) {
    if (!edProc->isModified()) {
        edProc->setText(QString::fromStdString(machine.processor));
    }
    if (!memSystem->document()->isModified()) {
        QStringList lines;
        for (const char* line : kSystemHeading) {
            lines.append(qt(line));
        }
        for (const std::string& name : machine.systemDevices) {
            lines.append(QString::fromStdString(name));
        }
        memSystem->setPlainText(lines.join('\n'));
        memSystem->document()->setModified(false);
    }
}

ResultDetails TupdateDetails::details() const {
    ResultDetails details;
    details.device = plain(edDevice->text());
    details.busIndex = cbBus->currentIndex();
    details.processor = plain(edProc->text());
    details.reader = plain(edReader->text());
    details.system = memoText(memSystem);
    details.notes = memoText(memNotes);
    return details;
}

std::string TupdateDetails::emailText() const {
    return plain(edEmail->text());
}

std::string TupdateDetails::showDetails(I_DriveFacts& device, I_VornCollection& collection,
                                        bool upload) {
    fillFields(device);
    askMachine();
    if (upload) {
        setUploadControlsVisible(true);
        edEmail->clear();
    }
    centreOnScreen(this);
    btDone->setFocus();
    const bool confirmed = exec() == QDialog::Accepted;
    // What is saved includes the machine's answer, however soon Done was pressed.
    machine_.finish();
    if (upload) {
        setUploadControlsVisible(false);
    }
    if (!confirmed) {
        return {};
    }
    if (upload) {
        return saveForUpload(details(), device, collection, hooks_, dialogs_);
    }
    saveWithReport(details(), device, collection, hooks_, dialogs_);
    return {};
}

}  // namespace vorn
