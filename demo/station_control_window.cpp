#include "demo/station_control_window.h"

#include "simulator/sim_station.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cerrno>

namespace demo {

TStationControlWindow::TStationControlWindow(simulator::TSimStation& station, QWidget* parent)
    : QWidget(parent)
    , FStation(station)
    , FPlugButton(new QPushButton(this))
    , FStateLabel(new QLabel(this))
    , FQuietBox(new QCheckBox(QStringLiteral("Молчит"), this))
    , FShortReportsBox(new QCheckBox(QStringLiteral("Обрезает отчёты"), this))
    , FGarbageBox(new QCheckBox(QStringLiteral("Шлёт мусор между отчётами"), this))
    , FWriteFailsBox(new QCheckBox(QStringLiteral("Не принимает команды"), this))
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

    auto* faults = new QGroupBox(QStringLiteral("Неисправности"), this);
    // The group box owns its layout, which the analyzer does not see.
    // NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
    auto* faultLayout = new QVBoxLayout(faults);
    for (QCheckBox* box : {FQuietBox, FShortReportsBox, FGarbageBox, FWriteFailsBox}) {
        faultLayout->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &TStationControlWindow::ApplyFaults);
    }
    layout->addWidget(faults);
    // NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

    FFirstPlug.setSingleShot(true);
    connect(&FFirstPlug, &QTimer::timeout, this, [this] {
        FStation.Plug();
        ShowState();
    });
    connect(FPlugButton, &QPushButton::clicked, this, &TStationControlWindow::TogglePlug);
    ShowState();
}

void TStationControlWindow::FitWidth()
{
    // Laying the texts out costs, so it waits until the window is about to be placed.
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
    FPlugButton->setText(plugged ? QStringLiteral("Отключить метеостанцию")
                                 : QStringLiteral("Подключить метеостанцию"));
}

void TStationControlWindow::ApplyFaults()
{
    simulator::TStationFaults faults;
    if (FQuietBox->isChecked())
        faults.QuietAfter = 0;
    if (FShortReportsBox->isChecked())
        faults.ReportLength = ReportImageSize / 2;
    if (FGarbageBox->isChecked())
        faults.GarbageEvery = 3;
    if (FWriteFailsBox->isChecked())
        faults.WriteError = EIO;
    FStation.SetFaults(faults);
}

} // namespace demo
