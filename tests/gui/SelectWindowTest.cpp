#include "view/gui/TQkVornSelect.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/gui/TQkVornMain.h"
#include "gui/WindowTestSupport.h"
#include "results/Collections.h"
#include "results/ResultBytes.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "view/ChartResults.h"
#include "view/gui/TQkVornChart.h"

namespace vorn::test {
namespace {

// The bytes of a result with one read test at the given rate.
std::string resultWith(const std::string& id, uint32_t readRate) {
    StoredResult result;
    result.driveId = id;
    result.tests = tableTests(readTests, {readRate});
    result.testTime = 1205531250;
    const std::string path = (std::filesystem::temp_directory_path() / "vorn-select.qkc").string();
    EXPECT_TRUE(writeResultFile(path, result));
    std::string bytes = readText(path);
    std::filesystem::remove(path);
    return bytes;
}

std::string cell(const TQkVornSelect& window, int row, int column) {
    return window.lvData->topLevelItem(row)->text(column).toStdString();
}

std::string driveIdOf(I_VornCollection& result) {
    char text[64] = {};
    uint32_t valueCapacity = sizeof text;
    uint32_t dataCapacity = 0;
    return result.findEntry("DRIVEID", &valueCapacity, text, &dataCapacity, nullptr) ? text : "";
}

// Runs `press` every few milliseconds while the window is shown (modally).
class ModalDriver {
public:
    ModalDriver(QWidget& window, std::function<void()> press) {
        QObject::connect(&timer_, &QTimer::timeout, [&window, press] {
            if (window.isVisible()) {
                press();
            }
        });
        timer_.start(5);
    }

private:
    QTimer timer_;
};

class SelectWindowTest : public testing::Test {
protected:
    SelectWindowTest() {
        folder.write("lib.qkl",
                     libraryBytes({resultWith("Gamma", 9000000), resultWith("Alpha", 21000000),
                                   resultWith("Beta", 500000)}));
    }
    WorkingFolder folder;
    TQkVornSelect window;
};

TEST_F(SelectWindowTest, ListsEveryMemberAndSortsWithoutReading) {
    EXPECT_EQ(window.windowTitle(), "QK Vorn - Benchmark Data Selection");
    EXPECT_EQ(window.size(), layoutSize(layout::kSelect));
    EXPECT_EQ(tabSequence(window, layout::kSelect), tabNames(layout::kSelect));
    EXPECT_EQ(window.cbSort->itemText(0), "------");
    EXPECT_EQ(window.cbSort2->itemText(0), "-------");
    EXPECT_EQ(window.cbSort->currentText(), "Manufacturer/Model");
    EXPECT_EQ(window.cbSource->currentText(), "QK Vorn Library");
    // As drawn, or wider where the font needs it for a whole rate; only "Reader"
    // may be narrowed below 50.
    QHeaderView* header = window.lvData->header();
    EXPECT_EQ(header->sectionSize(0), 150);
    EXPECT_GE(header->sectionSize(4), 60);
    header->resizeSection(0, 10);
    header->resizeSection(1, 10);
    EXPECT_EQ(header->sectionSize(0), 50);
    EXPECT_EQ(header->sectionSize(1), 10);

    window.show();
    ASSERT_EQ(window.lvData->topLevelItemCount(), 3);
    EXPECT_EQ(window.selectedRow(), 0);
    EXPECT_EQ(window.memInfo->toPlainText().toStdString(), "SYSTEM DATA-\n\n\nTEST NOTES-\n\n");
    EXPECT_EQ(cell(window, 0, 5), "9.0 MB/s");  // no device names: ties keep the file's order

    std::remove("lib.qkl");  // sorting must not read the files again
    window.cbSort->setCurrentText("Max Read");
    EXPECT_EQ(cell(window, 0, 5), "0.5 MB/s");
    EXPECT_EQ(cell(window, 2, 5), "21.0 MB/s");
    EXPECT_EQ(window.selectedRow(), 0);
    window.hide();

    // Each showing reads its source again; the choices stay.
    window.show();
    EXPECT_EQ(window.lvData->topLevelItemCount(), 0);
    EXPECT_EQ(window.selectedRow(), -1);
    EXPECT_TRUE(window.memInfo->toPlainText().isEmpty());
    EXPECT_EQ(window.cbSort->currentText(), "Max Read");
    window.hide();
}

// Select hands the highlighted member over; an empty source has nothing to select
// and Cancel leaves nothing to take.
TEST_F(SelectWindowTest, SelectHandsTheMemberOverCancelNothing) {
    window.cbSort->setCurrentText("Max Read");
    int presses = 0;
    ModalDriver driver(window, [&] {
        if (++presses == 1) {
            window.lvData->setCurrentItem(window.lvData->topLevelItem(2));
            window.btSelect->click();
        } else if (presses == 2) {
            window.cbSource->setCurrentText("Your Saved Benchmarks");
            window.btSelect->click();
        } else {
            window.btCancel->click();
        }
    });
    ASSERT_EQ(window.exec(), QDialog::Accepted);
    std::unique_ptr<I_VornCollection> chosen = window.takeSelection();
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(driveIdOf(*chosen), "Alpha");  // the fastest: member 1

    EXPECT_EQ(window.exec(), QDialog::Rejected);
    EXPECT_EQ(presses, 3);
    EXPECT_EQ(window.selectedRow(), -1);
    EXPECT_EQ(window.takeSelection(), nullptr);
}

TEST_F(SelectWindowTest, GraphDataShowsTheChoiceOrNothing) {
    for (bool choose : {false, true}) {
        SCOPED_TRACE(choose);
        FakeSysfs fake;
        ScriptedDialogs dialogs;
        TQkVornMain main(dialogs, fake.catalog());
        TQkVornChart chart;
        main.setRunWindows(nullptr, &chart);
        main.setSelectWindow(&window);
        bool chartShown = false;
        bool mainHidden = false;
        ModalDriver selection(window, [&] {
            mainHidden = !main.isVisible();
            (choose ? window.btSelect : window.btCancel)->click();
        });
        ModalDriver charts(chart, [&] {
            chartShown = true;
            EXPECT_FALSE(chart.btSave->isEnabled());
            EXPECT_FALSE(chart.btUpload->isEnabled());
            chart.btDone->click();
        });
        bool ended = false;
        QObject::connect(&main, &TQkVornMain::graphEnded, [&ended] { ended = true; });
        main.btGraph->click();
        ASSERT_TRUE(waitUntil([&] { return ended; }));
        EXPECT_TRUE(mainHidden);
        EXPECT_EQ(chartShown, choose);
        EXPECT_EQ(chart.resultCount(), choose ? 1 : 0);
        EXPECT_TRUE(main.isVisible());
    }
}

TEST_F(SelectWindowTest, CompareKeepsTheFirstResultAndCancelKeepsTheCharts) {
    TQkVornChart chart;
    folder.write("first.qkc", resultWith("First", 4000000));
    ASSERT_TRUE(chart.addResult(openCollection("first.qkc")));
    const auto compare = [&](bool choose) {
        ModalDriver driver(window, [&] { (choose ? window.btSelect : window.btCancel)->click(); });
        compareAnotherDrive(window, chart);
    };
    compare(false);
    ASSERT_EQ(chart.model().devices.size(), 1u);
    EXPECT_EQ(chart.model().devices[0].driveId, "First");

    compare(true);
    ASSERT_EQ(chart.model().devices.size(), 2u);
    EXPECT_EQ(chart.model().devices[0].driveId, "First");
    EXPECT_EQ(chart.model().devices[1].driveId, "Gamma");  // row 0: member 0

    compare(true);  // a new choice replaces the compared one
    EXPECT_EQ(chart.resultCount(), 2);
    compare(false);
    EXPECT_EQ(chart.resultCount(), 1);
    EXPECT_EQ(chart.model().devices[0].driveId, "First");
}

TEST_F(SelectWindowTest, ListsTheSampleLibrary) {
    std::remove("lib.qkl");
    const std::filesystem::path repository =
        std::filesystem::path(VORN_TEST_DATA_DIR).parent_path().parent_path();
    std::filesystem::copy_file(repository / "samples/qkvorn-samples.qkl", "qkvorn-samples.qkl");
    window.show();
    ASSERT_GT(window.lvData->topLevelItemCount(), 0);
    for (int row = 0; row < window.lvData->topLevelItemCount(); ++row) {
        EXPECT_NE(cell(window, row, 0).find("qkvorn-sample"), std::string::npos);
        EXPECT_NE(cell(window, row, 3), "no media");
        EXPECT_FALSE(cell(window, row, 5).empty());
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(saveScreenshot(window, "select-window.png"));
    window.hide();
}

}  // namespace
}  // namespace vorn::test
