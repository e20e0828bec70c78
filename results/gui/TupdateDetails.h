#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "results/HardwareQuery.h"
#include "results/SaveResult.h"
#include "results/gui/MachineQueryJob.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vorn {

class I_Dialogs;
class I_VornCollection;
class I_DriveFacts;

// The test details window: before a result is saved or sent, the user describes
// the set-up (device, bus, processor, reader, system, notes), pre-filled from the
// result and the machine. Created once and reused; every showing refills it. The
// machine is asked on a thread of its own when the window opens; its processor and
// system fields fill when the answer arrives, unless the user has typed in them, and
// Done waits for the answer so that what is saved includes it. Writing the result is
// DetailsSaving's.
class TupdateDetails : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TupdateDetails)

public:
    explicit TupdateDetails(I_Dialogs& dialogs, QWidget* parent = nullptr);
    ~TupdateDetails() override;

    // Fills the window for the result on view (`device` rebuilt from it), shows it
    // modally and, when Done is pressed, writes the result with the details. Save
    // mode asks for a path (proposing the device's name) and writes the statistics
    // report beside the file; it answers "". Upload mode writes
    // "<device>_<time>.qkc" in the working directory and answers that name, or ""
    // when cancelled or nothing could be written.
    std::string showDetails(I_DriveFacts& device, I_VornCollection& collection, bool upload);

    // What the fields hold now.
    ResultDetails details() const;
    // The address typed in upload mode.
    std::string emailText() const;

    // Where the processor and system names come from; the machine's own by default.
    void setHardwareRoots(std::string sysfsRoot, std::string procRoot);
    // Replaces the query over those roots (empty: back to it).
    void setMachineQuery(MachineQueryJob::Query query) { machineQuery_ = std::move(query); }
    // Whether this showing's machine fields have been filled from the answer.
    bool machineShown() const { return machine_.delivered(); }
    // How saving measures the processor clock and creates files.
    void setSaveHooks(SaveHooks hooks) { hooks_ = std::move(hooks); }

    // Controls, named as the window's design names them.
    QLabel* lbDrive = nullptr;
    QLabel* lbBus = nullptr;
    QLabel* lbProc = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lbSystem = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QPushButton* btDone = nullptr;
    QPushButton* btCancel = nullptr;
    QComboBox* cbBus = nullptr;
    QLineEdit* edProc = nullptr;
    QLineEdit* edReader = nullptr;
    QPlainTextEdit* memSystem = nullptr;
    QPlainTextEdit* memNotes = nullptr;
    QLineEdit* edEmail = nullptr;
    QPushButton* btWhy = nullptr;
    QLineEdit* edDevice = nullptr;

private:
    void createControls();
    void arrangeControls();
    void connectControls();
    void fillFields(I_DriveFacts& device);
    void askMachine();
    void showMachine(const MachineDescription& machine);
    void setUploadControlsVisible(bool visible);
    void btWhyClick();

    I_Dialogs& dialogs_;
    std::string sysfsRoot_ = "/sys";
    std::string procRoot_ = "/proc";
    SaveHooks hooks_;
    MachineQueryJob::Query machineQuery_;
    MachineQueryJob machine_{this};
};

}  // namespace vorn
