// The whole program over the simulated HID platform: the real window, controller, devices and read
// threads, and the stand-in station of stand_in_rig.h.
#pragma once

#include "core/readings_text.h"
#include "hid/device_controller.h"
#include "station/main_form.h"
#include "tests/support/stand_in_rig.h"

#include <QAbstractButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <limits>

namespace e2e {

using testsupport::PumpUntil;
using testsupport::StartClock;
using testsupport::TReport;

class StationE2E : public ::testing::Test, protected testsupport::TStandInRig
{
protected:
    void SetUp() override { ASSERT_TRUE(Folder.Entered()); }
    void TearDown() override
    {
        Form.reset();
        Station.reset();
        // Notices of the last unplugs go to nobody, but are delivered before the next test.
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    void CreateForm()
    {
        Form = std::make_unique<TForm1>(Platform);
        Form->SetClock([] { return QDateTime(QDate(2025, 11, 23), QTime(18, 42, 9)); });
        // The station's time runs only when a test advances it, so on a busy machine a test may
        // well take seconds between two reports or two history blocks: the "no data" notice and
        // the stall of a download or clear come only when a test shortens their time-outs.
        Form->SetStreamSilenceTimeout(std::numeric_limits<int>::max());
        Form->SetHistoryStallTimeout(std::numeric_limits<int>::max());
        // The user says yes to what the window asks (the clear of the station's memory), and the
        // questions are kept.
        Form->SetQuestion([this](const QString& text) {
            Questions.push_back(text);
            return true;
        });
        Form->show();
    }

    bool Connected() const { return Form->Panel1->Caption() == StationConnectedText; }
    bool WaitConnected()
    {
        return PumpUntil([this] { return Connected() && Form->Station.StationDevice != nullptr; });
    }
    // The station's plugged in before or after the window: matched, streaming, first report shown.
    void ConnectStation()
    {
        if (!Form)
            CreateForm();
        if (!Station->Plugged())
            PlugStation();
        ASSERT_TRUE(WaitConnected());
        ASSERT_TRUE(Settle());
    }

    // The user's hand.
    void ClickTab(TFormPage page)
    {
        QTabBar* tabs = Form->PageControl1->TabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(PageIndex(page)).center());
    }
    static void Click(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    void ClickItem(int index) { Click(Form->RadioGroup1->Button(index)); }
    static void PressRight(gui::TUpDown* upDown, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            QTest::mouseClick(upDown->RightButton(), Qt::LeftButton);
    }
    static void PressLeft(gui::TUpDown* upDown, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            QTest::mouseClick(upDown->LeftButton(), Qt::LeftButton);
    }

    std::unique_ptr<TForm1> Form;
    std::vector<QString> Questions;
};

} // namespace e2e
