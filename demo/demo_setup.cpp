#include "demo/demo_setup.h"

#include "demo/demo_folder.h"
#include "gui/after_first_paint.h"
#include "station/program_usage.h"
#include "station/tray_side.h"

#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <chrono>

namespace {

constexpr std::uint32_t Seed = 2016;

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

os::TProgramUsage DemoUsage()
{
    return WindowProgramUsage(
        QStringLiteral("meteostation-demo"),
        QStringLiteral("Демонстрация программы meteostation без устройства: то же окно с имитатором метеостанции,\n"
                       "у которого есть история за два месяца, и окно «Имитатор метеостанции», чтобы отключать\n"
                       "его и вызывать неисправности."),
        DemoDataFolder(), QStringLiteral("Демонстрация всегда работает в ней, откуда бы её ни запускали."));
}

TDemo::TDemo(TForm1::TStart start)
    : Station(Platform, Seed)
    , Form(Platform, nullptr, start)
    , Control(Station)
    , FStart(start)
{
    // A window that starts whole has its station whole too; otherwise the station's history comes
    // with the rest of the start (Show).
    if (start == TForm1::TStart::Whole)
        FillStationHistory();
    Station.StartClock();
    Form.setWindowTitle(DemoTitle);
    // The tab row leaves room at its right end only for a small button: the simulator's sign with the
    // name in its tooltip.
    ControlButton = new QPushButton(&Form);
    ControlButton->setObjectName(QStringLiteral("DemoControlButton"));
    ControlButton->setToolTip(QStringLiteral("Показать окно «Имитатор метеостанции»"));
    ControlButton->setAccessibleName(QStringLiteral("Имитатор метеостанции"));
    ControlButton->setGeometry(Form.width() - 4 - 28, 1, 28, 21);
    ControlButton->show();
    QObject::connect(ControlButton, &QPushButton::clicked, &Control, [this] {
        Control.showNormal();
        Control.raise();
        Control.activateWindow();
    });
}

void TDemo::Show(bool inTray)
{
    using namespace std::chrono_literals;
    // Started in the tray, both windows wait there; the tray's «Открыть» brings the main one, and
    // its button the stand-in station's.
    // A window that starts in the tray is never painted: the rest of its start comes at once.
    if (inTray)
        Form.FinishStart();
    const bool inTrayNow = inTray && Form.TraySide->StartInTray();
    // The station's history, the control window and the button's picture (the style looks it up
    // among the desktop's icons) are not in the program window's first picture: they come just
    // after it, and the station is plugged in a moment after them.
    const auto rest = [this, inTrayNow] {
        FillStationHistory();
        ControlButton->setIcon(ControlButton->style()->standardIcon(QStyle::SP_ComputerIcon));
        Control.FitWidth();
        PlaceBeside(Control, Form);
        if (!inTrayNow)
            Control.show();
        Control.PlugAfter(1500ms);
    };
    if (inTrayNow) {
        rest();
    } else {
        Form.show();
        if (FStart == TForm1::TStart::AfterFirstPaint)
            gui::AfterFirstPaint(&Form, rest);
        else
            rest();
    }
}

void TDemo::FillStationHistory()
{
    if (FHistoryFilled)
        return;
    FHistoryFilled = true;
    Station.Model().FillPlausibleHistory(60, simulator::CurrentDateTime(), Seed);
}
