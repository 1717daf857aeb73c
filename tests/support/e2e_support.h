// The whole program over the simulated HID platform: the real window, controller, devices and read
// threads, a stand-in station on a virtual device, every output report captured on its way to the
// station, and the event loop pumped until a condition holds. Each test runs in a fresh current
// directory, so no "met.mtb" is read or left behind.
#pragma once

#include "core/readings_text.h"
#include "hid/device_controller.h"
#include "hid/platform/sim/sim_platform.h"
#include "simulator/sim_station.h"
#include "station/main_form.h"
#include "tests/support/test_support.h"

#include <QAbstractButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

namespace e2e {

using TReport = std::vector<std::uint8_t>;

using testsupport::PumpUntil;

// The station model's clock at the start of every test.
inline simulator::TStationDateTime StartClock()
{
    return {2024, 3, 7, 14, 0, 0};
}

class StationE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.Entered());
        Station = std::make_unique<simulator::TSimStation>(Platform, 7, StartClock());
    }

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

    // Plugs the stand-in station in; every report written to it is kept before the station acts on it.
    void PlugStation()
    {
        Station->Plug();
        Platform.SetOutputHandler(Station->DeviceId(), [this](const std::uint8_t* report, std::size_t length) {
            Sent.emplace_back(report, report + length);
            Station->Model().HandleOutputReport(report, length);
        });
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

    // Every input report queued so far has been handled by the window: the queue is empty and the
    // read thread waits again, which it only does after the window's handler has returned.
    bool Settle()
    {
        const hidplatform::SimDeviceId id = Station->DeviceId();
        return PumpUntil([this, id] { return Platform.QueuedInputReports(id) == 0 && Platform.WaitingReads(id) > 0; });
    }
    // Lets the station's time run by `ms` and waits until its reports have been shown.
    bool Advance(int ms)
    {
        Station->Advance(std::chrono::milliseconds(ms));
        return Settle();
    }
    // Queues one report of the station's stream (64 data bytes after report id 0).
    bool Inject(const simulator::TInputReport& data)
    {
        TReport report(data.size() + 1, 0);
        std::copy(data.begin(), data.end(), report.begin() + 1);
        return Platform.QueueInputReport(Station->DeviceId(), std::move(report)) && Settle();
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

    const TReport& LastSent() const { return Sent.back(); }
    std::uint8_t LastCode() const { return Sent.back().at(19); }

    testsupport::TFreshCurrentFolder Folder;
    hidplatform::SimPlatform Platform;
    std::unique_ptr<simulator::TSimStation> Station;
    std::unique_ptr<TForm1> Form;
    std::vector<TReport> Sent;
    std::vector<QString> Questions;
};

} // namespace e2e
