// meteostation: the program for the weather station on this computer's USB.
#include "gui/error_box.h"
#include "gui/termination_signals.h"
#include "hid/platform/host_platform.h"
#include "station/data_folder.h"
#include "station/main_form.h"

int main(int argc, char** argv)
{
    gui::TApplication app(argc, argv);
    gui::TApplication::setApplicationName(QStringLiteral("Метеостанция"));
    gui::TApplication::setApplicationDisplayName(QStringLiteral("Метеостанция"));
    gui::TApplication::setDesktopFileName(QStringLiteral("meteostation"));

    EnterDataFolder();
    // The platform outlives the window, whose controller and devices use it to the end.
    const auto platform = hidplatform::CreateHostPlatform();
    TForm1 form(*platform);
    gui::CloseOnTerminationSignals(&form);
    form.show();
    return app.exec();
}
