// The demo's second window: a stand-in for the USB cable. One button unplugs and plugs the station
// again, a line says whether it is plugged in.
#pragma once

#include <QTimer>
#include <QWidget>
#include <chrono>

class QLabel;
class QPushButton;

namespace simulator {
class TSimStation;
}

class TStationControlWindow : public QWidget
{
    Q_OBJECT

public:
    // `station` must outlive the window.
    explicit TStationControlWindow(simulator::TSimStation& station, QWidget* parent = nullptr);

    // Plugs the station in after `delay`, unless the user has used the button by then.
    void PlugAfter(std::chrono::milliseconds delay);

    QPushButton* PlugButton() const { return FPlugButton; }
    QLabel* StateLabel() const { return FStateLabel; }

private:
    void TogglePlug();
    void ShowState();

    simulator::TSimStation& FStation;
    QPushButton* FPlugButton;
    QLabel* FStateLabel;
    QTimer FFirstPlug;
};
