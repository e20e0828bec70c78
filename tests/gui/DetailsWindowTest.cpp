#include "results/gui/TupdateDetails.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "gui/WindowTestSupport.h"
#include "results/Collections.h"
#include "results/gui/DetailsSaving.h"
#include "storage/LinuxDrive.h"
#include "storage/StoredDrive.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "view/ChartResults.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kTestTime = 1078513620;
constexpr const char* kDeviceId = "Generic Flash Disk 8.07";

std::string valueOf(I_VornCollection& file, const char* name) {
    char value[1024] = {};
    uint32_t valueCapacity = sizeof value - 1;
    uint32_t dataCapacity = 0;
    return file.findEntry(name, &valueCapacity, value, &dataCapacity, nullptr) ? value : "(none)";
}

class DetailsWindowTest : public testing::Test {
protected:
    DetailsWindowTest() {
        fake.addDisk(FakeSysfs::usbKey480());
        fs::create_directories(fake.sysRoot() + "/bus/acpi/devices/LNXCPU:00");
        std::ofstream(fake.procRoot() + "/cpuinfo") << "model name\t: Test CPU @ 2.40GHz\n";
        window.setHardwareRoots(fake.sysRoot(), fake.procRoot());
        window.setSaveHooks({[] { return 2400; }, createCollection});
        folder.write("file.txt", "not a folder");
    }

    // A test's result of the fake key, with its device record, opened for reading.
    std::unique_ptr<I_VornCollection> result(bool withDevice = true) {
        {
            auto file = createCollection("temp.qkt");
            auto disk = newLinuxDrive(0, nullptr, 65536, fake.catalog());
            unsigned char time[4];
            for (int i = 0; i < 4; ++i) {
                time[i] = static_cast<unsigned char>(kTestTime >> (8 * i));
            }
            EXPECT_TRUE(file && disk && file->addEntry("VERSION", "1.0.0.1", 0, nullptr) &&
                        file->addEntry("DRIVEID", kDeviceId, 0, nullptr) &&
                        (!withDevice || disk->saveDeviceInfo(file.get(), nullptr)) &&
                        addAccess(*file, "QKCRACCESS", 152) &&
                        file->addEntry("QKCTIME", nullptr, 4, time));
        }
        return openCollection("temp.qkt");
    }

    // Runs `whileShown` once the modal window is up and the machine's answer is in,
    // then presses `button`.
    void whenShown(QPushButton* TupdateDetails::*button, std::function<void()> whileShown = {}) {
        QTimer::singleShot(0, &window, [this, button, whileShown] {
            EXPECT_TRUE(window.isVisible());
            EXPECT_TRUE(waitUntil([this] { return window.machineShown(); }, 10000));
            if (whileShown) {
                whileShown();
            }
            (window.*button)->click();
        });
    }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(".")) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    WorkingFolder folder;
    FakeSysfs fake;
    ScriptedDialogs dialogs;
    TupdateDetails window{dialogs};
};

// Holds a query until the test lets it answer.
class Gate {
public:
    void open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

constexpr const char* kHeading =
    "Motherboard manufacturer/model: <fill this in>\n\n"
    "Autodetected system information (chipset, etc) -";

// The machine is asked on another thread while the window is up and usable; its
// answer fills the fields the user left alone and is what gets saved.
TEST_F(DetailsWindowTest, TheMachineAnswersOffTheInterfaceThreadIntoUntouchedFields) {
    Gate gate;
    std::thread::id askedOn;
    window.setMachineQuery([&gate, &askedOn] {
        askedOn = std::this_thread::get_id();
        gate.wait();
        return MachineDescription{"Slow CPU", {"Chipset X"}};
    });
    auto collection = result();
    auto device = newStoredDisk(collection.get());
    ASSERT_NE(device, nullptr);
    QTimer::singleShot(0, &window, [&] {
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.machineShown());
        EXPECT_EQ(window.edProc->text(), "");
        EXPECT_EQ(window.memSystem->toPlainText(), kHeading);
        window.edProc->insert("My CPU");
        gate.open();
        EXPECT_TRUE(waitUntil([this] { return window.machineShown(); }, 10000));
        EXPECT_EQ(window.edProc->text(), "My CPU");
        EXPECT_EQ(window.memSystem->toPlainText(), QString(kHeading) + "\nChipset X");
        window.btDone->click();
    });
    const std::string saved = window.showDetails(*device, *collection, true);
    EXPECT_NE(askedOn, std::this_thread::get_id());
    EXPECT_NE(askedOn, std::thread::id());
    auto file = openCollection(saved.c_str());
    ASSERT_NE(file, nullptr) << saved;
    EXPECT_EQ(valueOf(*file, "WPCUSRPROC"), "My CPU");
    const std::string system = valueOf(*file, "WPCUSRSYSTEM");
    EXPECT_EQ(system.substr(system.size() - 11), "\r\nChipset X") << system;
}

// Done pressed before the answer came: saving waits for it, and a query that throws
// leaves the fields as they were, the result still saved.
TEST_F(DetailsWindowTest, DoneBeforeTheAnswerWaitsForIt) {
    auto collection = result();
    auto device = newStoredDisk(collection.get());
    ASSERT_NE(device, nullptr);
    Gate gate;
    std::thread opener;
    window.setMachineQuery([&gate] {
        gate.wait();
        return MachineDescription{"Slow CPU", {}};
    });
    QTimer::singleShot(0, &window, [&] {
        EXPECT_FALSE(window.machineShown());
        opener = std::thread([&gate] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gate.open();
        });
        window.btDone->click();
    });
    std::string saved = window.showDetails(*device, *collection, true);
    opener.join();
    EXPECT_TRUE(window.machineShown());
    EXPECT_EQ(window.edProc->text(), "Slow CPU");
    auto file = openCollection(saved.c_str());
    ASSERT_NE(file, nullptr) << saved;
    EXPECT_EQ(valueOf(*file, "WPCUSRPROC"), "Slow CPU");
    file.reset();
    std::filesystem::remove(saved);

    window.setMachineQuery([]() -> MachineDescription { throw std::runtime_error("no bus"); });
    whenShown(&TupdateDetails::btDone, [&] {
        EXPECT_EQ(window.edProc->text(), "");
        EXPECT_EQ(window.memSystem->toPlainText(), kHeading);
    });
    saved = window.showDetails(*device, *collection, true);
    EXPECT_TRUE(folder.has(saved)) << saved;
}

TEST_F(DetailsWindowTest, SizeAndTabOrderFromTheLayoutTable) {
    EXPECT_EQ(window.size(), layoutSize(layout::kDetails));
    EXPECT_EQ(tabSequence(window, layout::kDetails), tabNames(layout::kDetails));
}

TEST_F(DetailsWindowTest, SaveModeWritesFileAndReportThroughTheSaveDialog) {
    using Kinds = std::vector<DialogBox::Kind>;
    const struct {
        QPushButton* TupdateDetails::*button;
        const char* path;  // the save dialog's answer; "" cancels
        Kinds boxes;
    } cases[] = {
        {&TupdateDetails::btCancel, "never.qkc", {}},
        {&TupdateDetails::btDone, "", {DialogBox::SaveFile}},
        {&TupdateDetails::btDone, "file.txt/x.qkc", {DialogBox::SaveFile, DialogBox::Error}},
        // A save that worked names both files it wrote.
        {&TupdateDetails::btDone, "saved.qkc", {DialogBox::SaveFile, DialogBox::Information}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.path);
        dialogs.boxes.clear();
        dialogs.savePaths = {test.path};
        auto collection = result();
        auto device = newStoredDisk(collection.get());
        whenShown(test.button, [&] {
            // Every showing starts afresh.
            EXPECT_EQ(window.lbDrive->text(), "Drive tested: ");
            EXPECT_EQ(window.edDevice->text(), kDeviceId);
            EXPECT_EQ(window.cbBus->count(), 6);
            EXPECT_EQ(window.cbBus->currentIndex(), -1);
            EXPECT_EQ(window.edProc->text(), "Test CPU @ 2.40GHz");
            EXPECT_EQ(window.edReader->text(), "");
            EXPECT_TRUE(window.edEmail->isHidden());
            window.cbBus->setCurrentIndex(1);
            window.edReader->setText("Reader 9");
        });
        EXPECT_EQ(window.showDetails(*device, *collection, false), "");
        Kinds kinds;
        for (const DialogBox& box : dialogs.boxes) {
            kinds.push_back(box.kind);
        }
        EXPECT_EQ(kinds, test.boxes);
        if (!kinds.empty()) {
            EXPECT_EQ(dialogs.boxes[0].text, "Generic_Flash_Disk_8_07.qkc");
        }
        if (kinds.size() > 1) {
            EXPECT_NE(dialogs.boxes[1].text.find("\"" + std::string(test.path) + "\""),
                      std::string::npos);
        }
        if (kinds.size() > 1 && kinds[1] == DialogBox::Information) {
            EXPECT_EQ(dialogs.boxes[1].text,
                      "The results were saved as \"saved.qkc\" and the statistics report as "
                      "\"saved.csv\".");
        }
    }
    EXPECT_EQ(files(),
              (std::vector<std::string>{"file.txt", "saved.csv", "saved.qkc", "temp.qkt"}));
    auto saved = openCollection("saved.qkc");
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(valueOf(*saved, "DRIVEID"), kDeviceId);
    EXPECT_EQ(valueOf(*saved, "QKCREADER"), "Reader 9");
    EXPECT_EQ(valueOf(*saved, "WPCUSRSYSTEM")
                  .rfind("Motherboard manufacturer/model: <fill this in>\r\n\r\n"
                         "Autodetected system information (chipset, etc) -",
                         0),
              0u);
    EXPECT_EQ(valueOf(*saved, "WPCUSRNOTES"), "(none)");
    const std::string report = folder.read("saved.csv");
    EXPECT_NE(report.find(std::string(" ") + kDeviceId + " ("), std::string::npos) << report;
    EXPECT_NE(report.find("RANDOM ACCESS TEST\n512\n"), std::string::npos);
}

TEST_F(DetailsWindowTest, UploadModeAnswersTheTimedNameAndWritesNoReport) {
    char stamp[32];
    const time_t when = kTestTime;
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M", std::localtime(&when));
    const std::string expected = std::string("Generic_Flash_Disk_8_07_") + stamp + ".qkc";

    auto collection = result();
    auto device = newStoredDisk(collection.get());
    ASSERT_NE(device, nullptr);
    whenShown(&TupdateDetails::btCancel);
    EXPECT_EQ(window.showDetails(*device, *collection, true), "");
    whenShown(&TupdateDetails::btDone, [&] {
        EXPECT_TRUE(window.Label6->isVisible() && window.edEmail->isVisible());
        EXPECT_EQ(window.edEmail->text(), "");
        window.edEmail->setText("someone@example.org");
        window.btWhy->click();
        EXPECT_TRUE(saveScreenshot(window, "details-upload.png"));
    });
    EXPECT_EQ(window.showDetails(*device, *collection, true), expected);
    EXPECT_EQ(files(), (std::vector<std::string>{expected, "file.txt", "temp.qkt"}));
    EXPECT_EQ(window.emailText(), "someone@example.org");
    EXPECT_TRUE(window.edEmail->isHidden() && window.btWhy->isHidden());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].kind, DialogBox::Information);
    EXPECT_NE(dialogs.boxes[0].text.find("we will not use ut for any other purpose."),
              std::string::npos);
}

TEST_F(DetailsWindowTest, SaveResultsHidesTheChartWindowWhileTheDetailsShow) {
    for (const bool withDevice : {true, false}) {
        SCOPED_TRACE(withDevice);
        dialogs.boxes.clear();
        TQkVornChart chart;
        ASSERT_TRUE(chart.addResult(result(withDevice)));
        chart.show();
        dialogs.savePaths = {"chart.qkc"};
        if (withDevice) {
            whenShown(&TupdateDetails::btDone, [&] { EXPECT_FALSE(chart.isVisible()); });
        }
        btSaveClick(chart, window);
        // Without a device record nothing shows: not even the save dialog.
        EXPECT_EQ(dialogs.boxes.size(), withDevice ? 2u : 0u);
        EXPECT_TRUE(chart.isVisible());
        EXPECT_TRUE(folder.has("vornsave.log"));
        EXPECT_EQ(folder.has("chart.qkc") && folder.has("chart.csv"), withDevice);
        fs::remove("chart.qkc");
        fs::remove("chart.csv");
    }
}

}  // namespace
}  // namespace vorn::test
