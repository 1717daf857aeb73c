// The demo as it starts: the program's window over simulated HID, titled as the demo, the stand-in
// station with two months of history and its control window beside the program's. Tests run it as
// it is.
#pragma once

#include "demo/station_control_window.h"
#include "hid/platform/sim/sim_platform.h"
#include "os/command_line.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"

class QPushButton;

inline const QString DemoTitle = QStringLiteral("Метеостанция (демонстрация)");

// What `meteostation-demo --help` tells.
os::TProgramUsage DemoUsage();

class TDemo
{
public:
    explicit TDemo(TForm1::TStart start = TForm1::TStart::Whole);

    // Shows both windows, the control window with the rest of the start when the program's window
    // comes up first (or, `inTray` where the desktop has a tray, leaves both hidden there); the
    // station is plugged in a moment later, so that its arrival is seen.
    void Show(bool inTray = false);

    // In this order, so the windows go first, then the station, then the platform.
    hidplatform::SimPlatform Platform;
    simulator::TSimStation Station;
    TForm1 Form;
    demo::TStationControlWindow Control;
    // On the program's window, right of its tabs: brings the control window back once closed.
    QPushButton* ControlButton = nullptr;

private:
    // Two months of the station's history, once.
    void FillStationHistory();

    TForm1::TStart FStart;
    bool FHistoryFilled = false;
};
