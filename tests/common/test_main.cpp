// Test entry: every test program runs offscreen with the program's own application object, so widgets,
// timers and hand-overs to the main thread behave as in the real program.
#include "gui/error_box.h"

#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    gui::TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Метеостанция"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
