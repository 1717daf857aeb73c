// The demo's second window: a stand-in for the USB cable. One button unplugs and plugs the station
// again, a line says whether it is plugged in. Switches below make the station misbehave, so that a
// newcomer can see how the program copes with a station that goes quiet or sends damaged reports.
#pragma once

#include <QTimer>
#include <QWidget>
#include <chrono>

class QCheckBox;
class QLabel;
class QPushButton;

namespace simulator {
class TSimStation;
}

namespace demo {

class TStationControlWindow : public QWidget
{
    Q_OBJECT

public:
    // `station` must outlive the window.
    explicit TStationControlWindow(simulator::TSimStation& station, QWidget* parent = nullptr);

    // Fixes the window's width to what its texts need (at least 300): before it is first placed.
    void FitWidth();
    // Plugs the station in after `delay`, unless the user has used the button by then.
    void PlugAfter(std::chrono::milliseconds delay);

    QPushButton* PlugButton() const { return FPlugButton; }
    QLabel* StateLabel() const { return FStateLabel; }
    QCheckBox* QuietBox() const { return FQuietBox; }
    QCheckBox* ShortReportsBox() const { return FShortReportsBox; }
    QCheckBox* GarbageBox() const { return FGarbageBox; }
    QCheckBox* WriteFailsBox() const { return FWriteFailsBox; }

private:
    void TogglePlug();
    void ShowState();
    // The station's faults from the switches, applied at once.
    void ApplyFaults();

    simulator::TSimStation& FStation;
    QPushButton* FPlugButton;
    QLabel* FStateLabel;
    QCheckBox* FQuietBox;
    QCheckBox* FShortReportsBox;
    QCheckBox* FGarbageBox;
    QCheckBox* FWriteFailsBox;
    QTimer FFirstPlug;
};

} // namespace demo
