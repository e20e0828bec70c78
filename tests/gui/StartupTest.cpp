#include <gtest/gtest.h>

#include <stdexcept>

#include "app/gui/MainRoutine.h"
#include "app/gui/TQkVornMain.h"
#include "app/gui/TRunTestForm.h"
#include "gui/WindowTestSupport.h"
#include "net/gui/TformUpload.h"
#include "results/gui/TupdateDetails.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "view/gui/TQkVornChart.h"
#include "view/gui/TQkVornSelect.h"

namespace vorn::test {
namespace {

constexpr const char* kNormalStart =
    "Screen size\nIncrease set size\nApplication->Initialize();\nApplication->Title\n"
    "Application->Run()\n";

StartupFacts goodMachine() {
    return {.linuxPresent = true, .effectiveUid = 0, .screenWidth = 800, .screenHeight = 600};
}

class StartupTest : public testing::Test {
protected:
    StartupTest() {
        fake.addDisk(FakeSysfs::usbKey480());
        TQkVornMain::restartFirstFill();
    }

    WorkingFolder folder;
    FakeSysfs fake;
    ScriptedDialogs dialogs;
};

TEST_F(StartupTest, RefusalsShowTheirPlainBoxAndCreateNoWindow) {
    const char* const kScreen = "QK Vorn requires a minimum display resolution of 800x600.";
    const struct {
        const char* name;
        StartupFacts facts;
        const char* text;
        const char* trace;
    } cases[] = {
        {"no sysfs", {false, 0, 1024, 768}, "QK Vorn requires Linux 2.6 or later.", ""},
        {"not root and no udisks2",
         {true, 1000, 1024, 768},
         "QK Vorn needs udisks2 to open drives as a normal user. Install and start udisks2 "
         "(apt install udisks2), or run QK Vorn as root.",
         ""},
        // udisks2 does not stand in for a missing Linux or a small screen.
        {"user with udisks2, no sysfs",
         {false, 1000, 1024, 768, true},
         "QK Vorn requires Linux 2.6 or later.",
         ""},
        {"user with udisks2, low screen", {true, 1000, 800, 599, true}, kScreen, "Screen size\n"},
        {"narrow screen", {true, 0, 799, 600}, kScreen, "Screen size\n"},
        {"low screen", {true, 0, 800, 599}, kScreen, "Screen size\n"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        // A start always begins a new trace.
        folder.write("init.log", "left over from an earlier start\n");
        ScriptedDialogs boxes;
        {
            MainRoutine routine(boxes, test.facts, fake.catalog());
            EXPECT_FALSE(routine.start());
            EXPECT_EQ(routine.windows().main, nullptr);
            EXPECT_EQ(routine.windows().upload, nullptr);
        }
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0], (DialogBox{DialogBox::Plain, test.text, "QK Vorn"}));
        EXPECT_EQ(folder.read("init.log"), test.trace);
        EXPECT_FALSE(folder.has("vorninit.log"));
    }
}

TEST_F(StartupTest, AUserWithUDisksStartsAsRootDoes) {
    StartupFacts user = goodMachine();
    user.effectiveUid = 1000;
    user.udisksReachable = true;
    {
        MainRoutine routine(dialogs, user, fake.catalog());
        ASSERT_TRUE(routine.start());
        ASSERT_NE(routine.windows().main, nullptr);
        EXPECT_EQ(routine.windows().main->devices().size(), 1u);
        routine.run([] { return 0; });
    }
    EXPECT_EQ(folder.read("init.log"), kNormalStart);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(StartupTest, NormalStartTracesFiveLinesAndCreatesEveryWindowOnce) {
    folder.write("init.log", "left over\n");
    {
        MainRoutine routine(dialogs, goodMachine(), fake.catalog());
        ASSERT_TRUE(routine.start());
        ProgramWindows& windows = routine.windows();
        // Only the main window shows, with its list filled.
        for (QWidget* window : std::initializer_list<QWidget*>{
                 windows.main.get(), windows.upload.get(), windows.progress.get(),
                 windows.chart.get(), windows.select.get(), windows.details.get()}) {
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(window->isVisible(), window == windows.main.get())
                << window->objectName().toStdString();
        }
        EXPECT_EQ(windows.main->devices().size(), 1u);
        EXPECT_EQ(QCoreApplication::applicationName(), "QK Vorn");
        // The event loop itself is not entered here.
        int loops = 0;
        routine.run([&loops] { return ++loops; });
        EXPECT_EQ(loops, 1);
    }
    EXPECT_EQ(folder.read("init.log"), kNormalStart);
    EXPECT_TRUE(folder.has("vorninit.log"));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(StartupTest, AnExceptionInTheLoopIsTracedAndShown) {
    const struct {
        const char* name;
        std::function<int()> loop;
        const char* message;
    } cases[] = {
        {"library exception", []() -> int { throw std::runtime_error("disk on fire"); },
         "disk on fire"},
        {"anything else", []() -> int { throw 17; }, "Unknown exception"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedDialogs boxes;
        {
            MainRoutine routine(boxes, goodMachine(), fake.catalog());
            ASSERT_TRUE(routine.start());
            routine.run(test.loop);
        }
        EXPECT_EQ(folder.read("init.log"), std::string(kNormalStart) + "Exception\n");
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].kind, DialogBox::Error);
        EXPECT_EQ(boxes.boxes[0].text, test.message);
    }
}

}  // namespace
}  // namespace vorn::test
