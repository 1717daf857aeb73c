#include "demo/station_control_window.h"

#include "simulator/sim_station.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TStationControlWindow::TStationControlWindow(simulator::TSimStation& station, QWidget* parent)
    : QWidget(parent)
    , FStation(station)
    , FPlugButton(new QPushButton(this))
    , FStateLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("StationControlWindow"));
    setWindowTitle(QStringLiteral("Имитатор метеостанции"));
    // Only the program's own window decides when the demo ends.
    setAttribute(Qt::WA_QuitOnClose, false);

    FPlugButton->setObjectName(QStringLiteral("PlugButton"));
    FStateLabel->setObjectName(QStringLiteral("StateLabel"));
    FStateLabel->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FStateLabel);
    layout->addWidget(FPlugButton);

    FFirstPlug.setSingleShot(true);
    connect(&FFirstPlug, &QTimer::timeout, this, [this] {
        FStation.Plug();
        ShowState();
    });
    connect(FPlugButton, &QPushButton::clicked, this, &TStationControlWindow::TogglePlug);
    ShowState();
    setFixedWidth(qMax(sizeHint().width(), 300));
}

void TStationControlWindow::PlugAfter(std::chrono::milliseconds delay)
{
    FFirstPlug.start(static_cast<int>(delay.count()));
}

void TStationControlWindow::TogglePlug()
{
    FFirstPlug.stop();
    if (FStation.Plugged())
        FStation.Unplug();
    else
        FStation.Plug();
    ShowState();
}

void TStationControlWindow::ShowState()
{
    const bool plugged = FStation.Plugged();
    FStateLabel->setText(plugged ? QStringLiteral("Метеостанция подключена к компьютеру")
                                 : QStringLiteral("Метеостанция отключена от компьютера"));
    FPlugButton->setText(plugged ? QStringLiteral("Отключить метеостанцию") : QStringLiteral("Подключить метеостанцию"));
}
