// The demo's start as a whole process, for the start-up benchmark: as the demo's main sets it up
// (in the current folder instead of the demo's own), its window and the stand-in station's control
// window shown, and the process ends once the program's window has been painted for the first time.
#include "bench/station/exit_when_painted.h"
#include "demo/demo_setup.h"
#include "gui/after_first_paint.h"
#include "gui/error_box.h"
#include "gui/qt_texts.h"
#include "os/local_time_zone.h"
#include "station/program_identity.h"

int main(int argc, char** argv)
{
    os::ReadLocalTimeZoneOnce();
    gui::UseRussianLocale();
    gui::TApplication app(argc, argv);
    SetProgramIdentity(QStringLiteral("meteostation-demo"), DemoTitle);
    TDemo demo(TForm1::TStart::AfterFirstPaint);
    gui::AfterFirstPaint(&demo.Form, [] { gui::UseRussianQtTexts(); });
    demo.Show();
    // After the demo's own work for the first paint (the control window shown): the time is taken
    // when the program's window is out, before that work.
    TExitWhenPainted exit(&demo.Form);
    return gui::TApplication::exec();
}
