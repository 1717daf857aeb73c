// The program's start as a whole process, for the start-up benchmark: the application as the
// program sets it up, the window over the simulated HID platform (no devices), shown, and the
// process ends once the window has been painted for the first time.
#include "bench/station/exit_when_painted.h"
#include "gui/error_box.h"
#include "hid/platform/sim/sim_platform.h"
#include "station/main_form.h"

int main(int argc, char** argv)
{
    gui::TApplication app(argc, argv);
    gui::TApplication::setApplicationName(QStringLiteral("Метеостанция"));
    gui::TApplication::setApplicationDisplayName(QStringLiteral("Метеостанция"));
    hidplatform::SimPlatform platform;
    TForm1 form(platform);
    TExitWhenPainted exit(&form);
    form.show();
    return gui::TApplication::exec();
}
