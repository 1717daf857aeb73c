// meteostation-demo: the program's window as it is, over simulated HID, with a stand-in station that
// has two months of history and is plugged in shortly after the start. Like the program it works
// in the current directory ("met.mtb"); on Windows that is a "demo" folder inside the program's.
#include "demo/demo_setup.h"
#include "gui/error_box.h"
#include "gui/termination_signals.h"
#include "station/data_folder.h"

int main(int argc, char** argv)
{
    gui::TApplication app(argc, argv);
    gui::TApplication::setApplicationName(QStringLiteral("Метеостанция"));
    gui::TApplication::setApplicationDisplayName(QStringLiteral("Метеостанция"));
    EnterDataFolder(QStringLiteral("demo"));

    TDemo demo;
    gui::CloseOnTerminationSignals(&demo.Form);
    demo.Show();
    const int result = gui::TApplication::exec();
    demo.Control.close();
    return result;
}
