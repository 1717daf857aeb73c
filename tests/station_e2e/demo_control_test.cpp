// The demo's control window drives the stand-in station's cable, and the program's window follows.
#ifdef METEO_HAVE_DEMO_CONTROL
#include "demo/station_control_window.h"
#include "e2e_support.h"

#include <QLabel>
#include <QPushButton>

namespace e2e {
namespace {

TEST_F(StationE2E, DemoControlWindowUnplugsAndPlugsTheStation)
{
    CreateForm();
    TStationControlWindow control(*Station);
    control.show();
    EXPECT_EQ(control.windowTitle(), QStringLiteral("Имитатор метеостанции"));
    EXPECT_EQ(control.PlugButton()->text(), QStringLiteral("Подключить метеостанцию"));
    EXPECT_FALSE(control.testAttribute(Qt::WA_QuitOnClose));

    // The delayed first plug-in.
    control.PlugAfter(std::chrono::milliseconds(10));
    ASSERT_TRUE(WaitConnected());
    EXPECT_TRUE(Station->Plugged());
    EXPECT_EQ(control.PlugButton()->text(), QStringLiteral("Отключить метеостанцию"));
    EXPECT_EQ(control.StateLabel()->text(), QStringLiteral("Метеостанция подключена к компьютеру"));

    Click(control.PlugButton());
    EXPECT_FALSE(Station->Plugged());
    EXPECT_EQ(control.PlugButton()->text(), QStringLiteral("Подключить метеостанцию"));
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.StationDevice == nullptr; }));
    EXPECT_EQ(Form->Panel1->Caption(), StationDisconnectedText);

    Click(control.PlugButton());
    ASSERT_TRUE(WaitConnected());
    EXPECT_EQ(control.StateLabel()->text(), QStringLiteral("Метеостанция подключена к компьютеру"));

    // A click before the delayed plug-in cancels it: the user's choice stands.
    Click(control.PlugButton());
    control.PlugAfter(std::chrono::milliseconds(20));
    Click(control.PlugButton());
    Click(control.PlugButton());
    QTest::qWait(60);
    EXPECT_FALSE(Station->Plugged());
    EXPECT_EQ(control.PlugButton()->text(), QStringLiteral("Подключить метеостанцию"));
}

} // namespace
} // namespace e2e
#endif
