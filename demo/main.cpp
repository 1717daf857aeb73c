// meteostation-demo: the program's window as it is, over simulated HID, with a stand-in station that
// has two months of history and is plugged in shortly after the start. Like the program it works
// in the current directory ("met.mtb").
#include "demo/station_control_window.h"
#include "gui/error_box.h"
#include "gui/termination_signals.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"

#include <chrono>

int main(int argc, char** argv)
{
    using namespace std::chrono_literals;
    gui::TApplication app(argc, argv);
    gui::TApplication::setApplicationName(QStringLiteral("Метеостанция"));
    gui::TApplication::setApplicationDisplayName(QStringLiteral("Метеостанция"));

    // Declared in this order so the window goes first, then the station, then the platform.
    constexpr std::uint32_t Seed = 2016;
    hidplatform::SimPlatform platform;
    simulator::TSimStation station(platform, Seed);
    station.Model().FillPlausibleHistory(60, simulator::CurrentDateTime(), Seed);
    station.StartClock();

    TForm1 form(platform);
    gui::CloseOnTerminationSignals(&form);
    TStationControlWindow control(station);
    // Below the program's window, so both can be seen at once.
    control.move(form.x(), form.y() + TForm1::FormHeight + 40);

    form.show();
    control.show();
    // A moment with the station unplugged first, so its arrival is seen.
    control.PlugAfter(1500ms);
    const int result = gui::TApplication::exec();
    control.close();
    return result;
}
