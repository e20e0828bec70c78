// Alt+letter in every window reaches one control: no two captions of a window take the
// same letter, except "R&efresh" and "&Enable Write Test", which have always shared
// Alt+E in the main window.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/gui/TQkVornMain.h"
#include "app/gui/TRunTestForm.h"
#include "net/gui/TformUpload.h"
#include "results/gui/TupdateDetails.h"
#include "support/FakeSysfs.h"
#include "support/ScriptedDialogs.h"
#include "view/gui/TQkVornChart.h"
#include "view/gui/TQkVornSelect.h"

namespace vorn::test {
namespace {

// The letter after a single '&' ("&&" is a literal ampersand), lower case; 0 for none.
char mnemonicOf(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (caption[i + 1] == '&') {
                ++i;
                continue;
            }
            return static_cast<char>(caption[i + 1].toLower().toLatin1());
        }
    }
    return 0;
}

// Captions that share a letter, as "letter: caption, caption".
std::vector<std::string> clashes(const QWidget& window) {
    std::map<char, std::vector<std::string>> byLetter;
    auto take = [&](const QString& caption) {
        if (const char letter = mnemonicOf(caption); letter != 0) {
            byLetter[letter].push_back(caption.toStdString());
        }
    };
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        take(button->text());
    }
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        take(label->text());
    }
    const std::set<std::string> described = {"R&efresh", "&Enable Write Test"};
    std::vector<std::string> out;
    for (const auto& [letter, captions] : byLetter) {
        const std::set<std::string> seen(captions.begin(), captions.end());
        if (captions.size() > 1 && seen != described) {
            std::string line = std::string(1, letter) + ":";
            for (const std::string& caption : captions) {
                line += " " + caption;
            }
            out.push_back(line);
        }
    }
    return out;
}

TEST(Mnemonics, NoWindowGivesOneLetterToTwoControls) {
    EXPECT_EQ(mnemonicOf("R&efresh"), 'e');
    EXPECT_EQ(mnemonicOf("Save && &Go"), 'g');
    EXPECT_EQ(mnemonicOf("Plain"), 0);

    FakeSysfs fake;
    fake.addDisk(FakeSysfs::usbKey480());
    ScriptedDialogs dialogs;
    TQkVornMain main(dialogs, fake.catalog());
    EXPECT_EQ(clashes(main), std::vector<std::string>{});
    // The capacity box has a letter of its own, not Check Updates' C.
    EXPECT_EQ(mnemonicOf(main.cbCapacity->text()), 'a');

    TRunTestForm progress;
    TQkVornChart chart;
    TQkVornSelect select;
    TupdateDetails details(dialogs);
    TformUpload notice;
    for (const QWidget* window :
         std::initializer_list<const QWidget*>{&progress, &chart, &select, &details, &notice}) {
        EXPECT_EQ(clashes(*window), std::vector<std::string>{})
            << window->objectName().toStdString();
    }
}

}  // namespace
}  // namespace vorn::test
