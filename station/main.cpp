// meteostation: the program for the weather station on this computer's USB.
#include "desktop/autostart.h"
#include "desktop/program_entry.h"
#include "gui/after_first_paint.h"
#include "gui/error_box.h"
#include "gui/qt_texts.h"
#include "gui/termination_signals.h"
#include "hid/platform/host_platform.h"
#include "os/command_line.h"
#include "os/data_folder.h"
#include "os/local_time_zone.h"
#include "station/main_form.h"
#include "station/one_window_per_folder.h"
#include "station/program_identity.h"
#include "station/program_usage.h"
#include "station/station_service.h"
#include "station/tray_side.h"

int main(int argc, char** argv)
{
    os::ReadLocalTimeZoneOnce();
    gui::UseRussianLocale();
    // --help and --version need no display: they are answered before Qt opens one.
    if (const auto status =
            os::AnswerCommandLine(os::ArgumentList(argc, argv), ProgramUsage(), os::TCommandLineCheck::HelpAndVersion))
        return *status;
    // No window, no tray, no display needed.
    if (os::ArgumentList(argc, argv).contains(ServiceArgument))
        return RunStationService(argc, argv);
    gui::TApplication app(argc, argv);
    // What Qt has not taken as its own must be the program's.
    if (const auto status =
            os::AnswerCommandLine(QCoreApplication::arguments(), ProgramUsage(), os::TCommandLineCheck::Everything))
        return *status;
    SetProgramIdentity(desktop::ProgramName, desktop::ProgramDisplayName);

    QString problem;
    if (!os::EnterDataFolder(problem)) {
        gui::UseRussianQtTexts();
        gui::ShowErrorBox(problem);
        return 1;
    }
    // One window per data folder (the current one); a second start only points to the first.
    const auto lock = ClaimCurrentFolder();
    if (!lock)
        return 1;

    // The platform outlives the window, whose controller and devices use it to the end.
    const auto platform = hidplatform::CreateHostPlatform();
    TForm1 form(*platform, nullptr, TForm1::TStart::AfterFirstPaint);
    gui::CloseOnTerminationSignals(&form);
    // Started with the session in the tray: the window waits there, where there is a tray. It is not
    // painted then, so the rest of its start comes at once.
    if (QCoreApplication::arguments().contains(desktop::StartInTrayArgument)) {
        gui::UseRussianQtTexts();
        form.FinishStart();
        if (!form.TraySide->StartInTray())
            form.show();
        return app.exec();
    }
    // Qt's own texts are for dialogs, none of which the first picture shows.
    gui::AfterFirstPaint(&form, [] { gui::UseRussianQtTexts(); });
    form.show();
    return app.exec();
}
