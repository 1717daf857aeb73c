// Test entry: every test program runs offscreen with the program's own application object, so widgets,
// timers and hand-overs to the main thread behave as in the real program.
#include "gui/error_box.h"
#include "gui/qt_texts.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // In Russian whatever the system says, as the programs are.
    gui::UseRussianLocale();
    gui::TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Метеостанция"));
    // The program reads and writes its files in the current folder: no test may leave them in the
    // build tree or find another test's there.
    QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path()))
        return 2;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
