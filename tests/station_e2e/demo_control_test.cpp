// The demo's control window drives the stand-in station's cable, and the program's window follows.
#include "demo/demo_setup.h"
#include "demo/station_control_window.h"
#include "station/tray_side.h"
#include "tests/support/e2e_support.h"

#include "gui/error_box.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cerrno>

namespace e2e {
namespace {

TEST_F(StationE2E, DemoControlWindowUnplugsAndPlugsTheStation)
{
    CreateForm();
    demo::TStationControlWindow control(*Station);
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

    // A click before the delayed plug-in cancels it: the user's choice stands. A timer started
    // later runs out later: once it has, the plug-in would have come.
    Click(control.PlugButton());
    control.PlugAfter(std::chrono::milliseconds(20));
    Click(control.PlugButton());
    Click(control.PlugButton());
    QTimer later;
    later.setSingleShot(true);
    later.start(20);
    ASSERT_TRUE(PumpUntil([&later] { return !later.isActive(); }));
    EXPECT_FALSE(Station->Plugged());
    EXPECT_EQ(control.PlugButton()->text(), QStringLiteral("Подключить метеостанцию"));
}

// The control window closed by the user comes back from the button on the program's window.
TEST(Demo, TheControlWindowComesBackOnceClosed)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    TDemo demo;
    demo.Show();
    ASSERT_NE(demo.ControlButton, nullptr);
    EXPECT_TRUE(demo.ControlButton->isVisible());
    // Clear of the tabs, inside the window.
    QTabBar* tabs = demo.Form.PageControl1->TabBar();
    const QRect lastTab = tabs->tabRect(tabs->count() - 1).translated(tabs->mapTo(&demo.Form, QPoint(0, 0)));
    EXPECT_GT(demo.ControlButton->geometry().left(), lastTab.right());
    EXPECT_TRUE(demo.Form.rect().contains(demo.ControlButton->geometry()));
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(demo.Control.close());
        EXPECT_FALSE(demo.Control.isVisible());
        QTest::mouseClick(demo.ControlButton, Qt::LeftButton);
        EXPECT_TRUE(demo.Control.isVisible()) << round;
    }
    EXPECT_TRUE(demo.Form.isVisible()); // the button leaves the program's window as it was
    EXPECT_TRUE(demo.Form.close());
}

// As the demo's own start makes it: the program's window first, then the station's history, the
// control window and the station plugged in; started in the tray (where there is one), the rest of
// the start at once and both windows hidden.
TEST(Demo, ItsStartPutsTheStationAfterTheFirstPictureOrStartsWholeInTheTray)
{
    for (const bool inTray : {false, true}) {
        SCOPED_TRACE(inTray);
        testsupport::TFreshCurrentFolder folder;
        ASSERT_TRUE(folder.Entered());
        TDemo demo(TForm1::TStart::AfterFirstPaint);
        const auto historyFilled = [&demo] {
            const auto& memory = demo.Station.Model().HistoryMemory();
            return std::adjacent_find(memory.begin(), memory.end(), std::not_equal_to<>()) != memory.end();
        };
        EXPECT_FALSE(historyFilled());
        demo.Form.TraySide->SetTrayCheck([] { return true; });
        demo.Show(inTray);
        if (!inTray) {
            EXPECT_FALSE(historyFilled());
            ASSERT_TRUE(PumpUntil([&demo] { return demo.Control.isVisible(); }));
        }
        EXPECT_TRUE(historyFilled());
        EXPECT_FALSE(demo.ControlButton->icon().isNull());
        EXPECT_NE(demo.Form.Core.Archive(), nullptr);
        EXPECT_EQ(demo.Form.isVisible(), !inTray);
        EXPECT_EQ(demo.Control.isVisible(), !inTray);
        EXPECT_TRUE(demo.Form.TraySide->Tray->isVisible());
        EXPECT_FALSE(demo.Station.Plugged());
        ASSERT_TRUE(PumpUntil([&demo] { return demo.Form.Station.StationDevice != nullptr; }));
    }
}

// The fault switches: each sets its fault on the station at once, and a station told to go quiet
// before a download makes the window give up on it with its message, the copy untouched.
TEST_F(StationE2E, DemoControlWindowFaultSwitches)
{
    std::vector<QString> boxes;
    gui::SetErrorBoxHook([&boxes](const QString& text) { boxes.push_back(text); });
    ConnectStation();
    demo::TStationControlWindow control(*Station);
    control.show();

    Click(control.ShortReportsBox());
    EXPECT_EQ(Station->Faults().ReportLength, ReportImageSize / 2);
    Click(control.GarbageBox());
    EXPECT_GT(Station->Faults().GarbageEvery, 0);
    Click(control.WriteFailsBox());
    EXPECT_EQ(Station->Faults().WriteError, static_cast<std::uint32_t>(EIO));
    for (QCheckBox* box : {control.ShortReportsBox(), control.GarbageBox(), control.WriteFailsBox()})
        Click(box);
    EXPECT_EQ(Station->Faults().ReportLength, ReportImageSize);
    EXPECT_EQ(Station->Faults().GarbageEvery, 0);
    EXPECT_EQ(Station->Faults().WriteError, 0u);

    const THistoryImage before = Form->History.HistoryImage;
    Form->SetHistoryStallTimeout(50);
    ClickTab(TFormPage::Diagram);
    Click(control.QuietBox());
    EXPECT_EQ(Station->Faults().QuietAfter, 0);
    Click(Form->Button1);
    ASSERT_EQ(Form->Station.DownloadActive, 1);
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.DownloadActive == 0; }));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Метеостанция перестала отвечать")));
    EXPECT_EQ(Form->History.HistoryImage, before);
    EXPECT_TRUE(Form->PageControl1->isEnabled());
    gui::SetErrorBoxHook({});
}

} // namespace
} // namespace e2e
