// The program's start as a whole process, for the start-up benchmark: the application as the
// program's main sets it up (the locale, its name and icon, Qt's texts after the first paint), the
// window over the simulated HID platform (no devices) started as the program starts it, shown, and
// the process ends once the window has been painted for the first time.
#include "bench/station/exit_when_painted.h"
#include "gui/after_first_paint.h"
#include "gui/error_box.h"
#include "gui/qt_texts.h"
#include "hid/platform/sim/sim_platform.h"
#include "os/local_time_zone.h"
#include "station/main_form.h"
#include "station/program_identity.h"

int main(int argc, char** argv)
{
    os::ReadLocalTimeZoneOnce();
    gui::UseRussianLocale();
    gui::TApplication app(argc, argv);
    SetProgramIdentity(QStringLiteral("meteostation"), QStringLiteral("Метеостанция"));
    hidplatform::SimPlatform platform;
    TForm1 form(platform, nullptr, TForm1::TStart::AfterFirstPaint);
    gui::AfterFirstPaint(&form, [] { gui::UseRussianQtTexts(); });
    TExitWhenPainted exit(&form);
    form.show();
    return gui::TApplication::exec();
}
