// meteostation-demo: the program's window as it is, over simulated HID, with a stand-in station that
// has two months of history and is plugged in shortly after the start. It works in a data folder of
// its own, never in the program's, and its title says that it is the demo.
#include "demo/demo_folder.h"
#include "demo/demo_setup.h"
#include "desktop/autostart.h"
#include "gui/after_first_paint.h"
#include "gui/error_box.h"
#include "gui/qt_texts.h"
#include "gui/termination_signals.h"
#include "os/command_line.h"
#include "os/local_time_zone.h"
#include "station/one_window_per_folder.h"
#include "station/program_identity.h"

int main(int argc, char** argv)
{
    os::ReadLocalTimeZoneOnce();
    gui::UseRussianLocale();
    // As the program's: --help and --version before Qt opens a display, the rest after it.
    if (const auto status =
            os::AnswerCommandLine(os::ArgumentList(argc, argv), DemoUsage(), os::TCommandLineCheck::HelpAndVersion))
        return *status;
    gui::TApplication app(argc, argv);
    if (const auto status =
            os::AnswerCommandLine(QCoreApplication::arguments(), DemoUsage(), os::TCommandLineCheck::Everything))
        return *status;
    SetProgramIdentity(QStringLiteral("meteostation-demo"), DemoTitle);

    QString problem;
    if (!EnterDemoDataFolder(problem)) {
        gui::UseRussianQtTexts();
        gui::ShowErrorBox(problem);
        return 1;
    }
    // One window per data folder, as with the program.
    const auto lock = ClaimCurrentFolder();
    if (!lock)
        return 1;

    // As the program's window: what its first picture does not need comes after it.
    TDemo demo(TForm1::TStart::AfterFirstPaint);
    gui::CloseOnTerminationSignals(&demo.Form);
    // Qt's own texts are for dialogs, none of which the first picture shows; a start in the tray
    // has no first picture.
    const bool inTray = QCoreApplication::arguments().contains(desktop::StartInTrayArgument);
    if (inTray)
        gui::UseRussianQtTexts();
    else
        gui::AfterFirstPaint(&demo.Form, [] { gui::UseRussianQtTexts(); });
    demo.Show(inTray);
    const int result = gui::TApplication::exec();
    demo.Control.close();
    return result;
}
