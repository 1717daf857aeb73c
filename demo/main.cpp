// meteostation-demo: the program's window as it is, over simulated HID, with a stand-in station that
// has two months of history and is plugged in shortly after the start. It works in a data folder of
// its own, never in the program's, and its title says that it is the demo.
#include "demo/demo_folder.h"
#include "demo/station_control_window.h"
#include "gui/error_box.h"
#include "gui/termination_signals.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"
#include "station/one_window_per_folder.h"

#include <QScreen>
#include <chrono>

namespace {

// Below the program's window, or else to its right, so that both can be seen at once; on a screen
// too small for either, at the screen's right edge.
void PlaceBeside(QWidget& control, const QWidget& form)
{
    const QSize size = control.sizeHint().expandedTo(control.minimumSize());
    const QRect frame(form.pos(), form.size() + QSize(0, 40));
    const QRect screen = form.screen() != nullptr ? form.screen()->availableGeometry() : QRect(0, 0, 1920, 1080);
    QPoint place(frame.left(), frame.bottom() + 1);
    if (!screen.contains(QRect(place, size))) {
        place = QPoint(frame.right() + 21, frame.top());
        if (!screen.contains(QRect(place, size)))
            place = QPoint(screen.right() - size.width() + 1, screen.top());
    }
    control.move(place);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace std::chrono_literals;
    gui::TApplication app(argc, argv);
    const QString title = QStringLiteral("Метеостанция (демонстрация)");
    gui::TApplication::setApplicationName(QStringLiteral("Метеостанция"));
    gui::TApplication::setApplicationDisplayName(title);
    gui::TApplication::setDesktopFileName(QStringLiteral("meteostation-demo"));

    QString problem;
    if (!EnterDemoDataFolder(problem)) {
        gui::ShowErrorBox(problem);
        return 1;
    }
    // One window per data folder, as with the program.
    const auto lock = ClaimCurrentFolder();
    if (!lock)
        return 1;

    // Declared in this order so the window goes first, then the station, then the platform.
    constexpr std::uint32_t Seed = 2016;
    hidplatform::SimPlatform platform;
    simulator::TSimStation station(platform, Seed);
    station.Model().FillPlausibleHistory(60, simulator::CurrentDateTime(), Seed);
    station.StartClock();

    TForm1 form(platform);
    form.setWindowTitle(title);
    gui::CloseOnTerminationSignals(&form);
    demo::TStationControlWindow control(station);
    PlaceBeside(control, form);

    form.show();
    control.show();
    // A moment with the station unplugged first, so its arrival is seen.
    control.PlugAfter(1500ms);
    const int result = gui::TApplication::exec();
    control.close();
    return result;
}
