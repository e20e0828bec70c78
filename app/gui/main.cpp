// QK Vorn, the window program.
#include "app/gui/MainRoutine.h"
#include "app/gui/QtDialogs.h"

int main(int argc, char** argv) {
    // The application object comes first: the start-up checks need it to learn the
    // screen size, and the boxes need it to show. "init.log" therefore begins once Qt
    // is up; a display that cannot be opened is reported by Qt itself.
    vorn::QkVornApplication application(argc, argv);
    vorn::QtDialogs dialogs;
    return vorn::runMainRoutine(dialogs, vorn::currentStartupFacts());
}
