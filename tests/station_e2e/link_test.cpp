// The station link end to end: matching at start and on hot-plug, the first command, unplug and
// re-plug, a station without access, read errors, other devices
// arriving, and the close of the window by the user or by SIGTERM.
#include "tests/support/e2e_support.h"

#include "gui/termination_signals.h"

#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <cerrno>
#include <csignal>

namespace e2e {
namespace {

// The first command a newly matched station gets: report id 0, code 1, the untouched image in
// bytes 1..63; the one byte of the 65-byte report beyond the image goes out as 0.
void ExpectFirstCommand(const TReport& report)
{
    ASSERT_EQ(report.size(), 65u);
    EXPECT_EQ(report[0], 0);
    EXPECT_EQ(report[19], 1);
    for (std::size_t i = 1; i < 64; ++i) {
        if (i != 19) {
            EXPECT_EQ(report[i], 255) << "byte " << i;
        }
    }
    EXPECT_EQ(report[64], 0);
}

void ExpectStationControlsReset(TForm1& f)
{
    EXPECT_EQ(f.Panel1->Caption(), StationDisconnectedText);
    EXPECT_EQ(f.Panel2->Caption(), IndoorPlaceholder);
    EXPECT_EQ(f.Panel3->Caption(), OutdoorPlaceholder);
    EXPECT_EQ(f.Panel4->Caption(), PressurePlaceholder);
    EXPECT_EQ(f.Panel5->Caption(), HumidityPlaceholder);
    for (QPushButton* b : {f.Button1, f.Button2, f.Button4, f.Button5, f.Button6, f.Button7})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(f.Button3->isEnabled());
    EXPECT_FALSE(f.RadioGroup1->isEnabled());
    EXPECT_EQ(f.RadioGroup1->ItemIndex(), -1);
    for (QWidget* w : std::initializer_list<QWidget*>{f.LabeledEdit1, f.LabeledEdit3, f.LabeledEdit8, f.UpDown3,
                                                      f.UpDown6, f.RadioButton1, f.RadioButton7, f.RadioButton10})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
}

TEST_F(StationE2E, StationPresentAtStartIsMatchedFromTheEventLoopAndStreams)
{
    PlugStation();
    CreateForm();
    // The first scan runs from the event loop, after the window's creation.
    EXPECT_EQ(Form->Panel1->Caption(), StationDisconnectedText);
    EXPECT_TRUE(Sent.empty());
    ASSERT_TRUE(WaitConnected());
    ASSERT_EQ(Sent.size(), 1u);
    ExpectFirstCommand(Sent[0]);
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Streaming);

    // The station answers code 1 with a readings report at once, and one a second from then on.
    ASSERT_TRUE(Settle());
    const simulator::TInputReport now = Station->Model().ReadingsReport();
    ASSERT_EQ(now[7], 16); // both sensors present, pressure and humidity on
    ASSERT_EQ(now[8], 16);
    EXPECT_EQ(Form->Panel2->Caption(), QStringLiteral("Температура в доме: +%1°C").arg(now[9]));
    EXPECT_EQ(Form->Panel4->Caption(), QStringLiteral("Атмосферное давление: %1 мм рт.ст.").arg(885 - now[29]));
    EXPECT_EQ(Form->Panel5->Caption(), QStringLiteral("Относительная влажность: %1%").arg(now[32]));
    EXPECT_NE(Form->Panel3->Caption(), OutdoorPlaceholder);

    // The station buttons as a match leaves them: no item chosen, so no "Установить", no codes.
    for (QPushButton* b : {Form->Button1, Form->Button2, Form->Button3, Form->Button6})
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    for (QPushButton* b : {Form->Button4, Form->Button5, Form->Button7})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(Form->Station.StationDevice->CheckedOut());
}

TEST_F(StationE2E, HotPlugUnplugAndReplug)
{
    CreateForm();
    // The controller's first scan (of no devices) runs from the event loop.
    ASSERT_TRUE(testsupport::PumpPosted());
    EXPECT_EQ(Form->Panel1->Caption(), StationDisconnectedText);

    PlugStation();
    ASSERT_TRUE(WaitConnected());
    ASSERT_EQ(Sent.size(), 1u);
    ExpectFirstCommand(Sent[0]);
    ASSERT_TRUE(Settle());
    EXPECT_NE(Form->Panel2->Caption(), IndoorPlaceholder);

    // The settings page in use: loaded, time item chosen (its controls on).
    ClickTab(TFormPage::Settings);
    Click(Form->Button6);
    ASSERT_TRUE(Advance(1000));
    ClickItem(0);
    ASSERT_TRUE(Form->UpDown3->isEnabled());
    ASSERT_TRUE(Form->Button7->isEnabled());

    Station->Unplug();
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.StationDevice == nullptr; }));
    ExpectStationControlsReset(*Form);
    // The station's device object went back to the controller and then left its list.
    EXPECT_EQ(Form->HidDeviceController1->DeviceCount(), 0);

    // The same station again is a new connection, matched and told to stream again.
    const std::size_t before = Sent.size();
    PlugStation();
    ASSERT_TRUE(WaitConnected());
    ASSERT_EQ(Sent.size(), before + 1);
    EXPECT_EQ(LastSent()[0], 0);
    EXPECT_EQ(LastCode(), 1);
    ASSERT_TRUE(Settle());
    EXPECT_NE(Form->Panel2->Caption(), IndoorPlaceholder);
    EXPECT_TRUE(Form->Button6->isEnabled());
    EXPECT_FALSE(Form->RadioGroup1->isEnabled());
    // The clock and codes resume with the new station's reports.
    EXPECT_EQ(Form->LabeledEdit1->Text().size(), 8);
}

TEST_F(StationE2E, StationThatCanOnlyBeIdentifiedIsNotAnnouncedAsConnected)
{
    CreateForm();
    hidplatform::SimDeviceConfig config = simulator::TSimStation::DeviceConfig();
    config.Access = hidplatform::SimAccess::IdentifyOnly;
    const hidplatform::SimDeviceId id = Platform.PlugDevice(config);
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.StationDevice != nullptr; }));
    ASSERT_TRUE(PumpUntil([this] { return Form->Panel1->Caption() == QStringLiteral("Нет доступа к метеостанции"); }));
    EXPECT_TRUE(Form->Panel1->toolTip().contains(QStringLiteral("70-meteostation.rules")));
    EXPECT_EQ(Form->Station.StationDevice->ReadThread(), nullptr);
    EXPECT_EQ(Platform.ReadStarts(id), 0);
    EXPECT_FALSE(Form->Button6->isEnabled());
    EXPECT_FALSE(Form->Button1->isEnabled());

    // Unplugged, it is let go like a station that worked, and the hint goes with it.
    Platform.UnplugDevice(id);
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.StationDevice == nullptr; }));
    EXPECT_EQ(Form->Panel1->Caption(), StationDisconnectedText);
    EXPECT_TRUE(Form->Panel1->toolTip().isEmpty());
}

TEST_F(StationE2E, FailedReadShowsTheSystemTextAndTheLinkCarriesOn)
{
    CreateForm();
    PlugStation();
    Platform.SetReadStartFailure(Station->DeviceId(), EIO);
    const QString expected = ReadErrorPrefix + QString::fromStdString(Platform.ErrorText(EIO));
    ASSERT_FALSE(Platform.ErrorText(EIO).empty());
    ASSERT_TRUE(PumpUntil([&] { return Form->Panel1->Caption() == expected; }));
    // In Russian whatever the locale (tests run under the C locale).
    EXPECT_EQ(expected, QStringLiteral("Ошибка чтения:Ошибка ввода-вывода"));
    EXPECT_NE(Form->Station.StationDevice, nullptr);
    EXPECT_TRUE(Form->Button6->isEnabled());

    // Reads start again: the queued report and the next ones refresh the panels; the link panel
    // keeps the error until the next match.
    Platform.SetReadStartFailure(Station->DeviceId(), 0);
    ASSERT_TRUE(Advance(1000));
    EXPECT_NE(Form->Panel2->Caption(), IndoorPlaceholder);
    EXPECT_EQ(Form->Panel1->Caption(), expected);
}

TEST_F(StationE2E, AnyOtherDeviceArrivingRepeatsTheMatchOfTheConnectedStation)
{
    ConnectStation();
    const std::size_t before = Sent.size();
    THidDevice* station = Form->Station.StationDevice;
    Form->Button6->setEnabled(false);
    Platform.PlugDevice(Mouse());
    ASSERT_TRUE(PumpUntil([&] { return Sent.size() == before + 1; }));
    EXPECT_EQ(LastCode(), 1);
    EXPECT_EQ(Form->Station.StationDevice, station);
    EXPECT_TRUE(Form->Button6->isEnabled());
    EXPECT_EQ(Form->Panel1->Caption(), StationConnectedText);
}

// A window destroyed while a station it was taken over from is still checked out: the controller
// unplugs that one on its way out, and the unplug handler must find the window still whole (the
// sanitizer build catches a call on a half-destroyed window).
TEST_F(StationE2E, WindowDestroyedWithASupersededStationStillCheckedOut)
{
    ConnectStation();
    const hidplatform::SimDeviceId firstId = Station->DeviceId();
    simulator::TSimStation second(Platform, 8, StartClock());
    second.Plug();
    THidDevice* first = Form->Station.StationDevice;
    ASSERT_TRUE(
        PumpUntil([&] { return Form->Station.StationDevice != first && Form->Station.StationDevice != nullptr; }));
    ASSERT_TRUE(first->CheckedOut());
    Form.reset();
    EXPECT_EQ(Platform.OpenHandleCount(firstId), 0);
    EXPECT_EQ(Platform.OpenHandleCount(second.DeviceId()), 0);
    EXPECT_EQ(Platform.WaitingReads(firstId), 0);
}

TEST_F(StationE2E, ClosingQuietsTheStationAndHandsItsDeviceBack)
{
    ConnectStation();
    const std::string path = Form->Station.StationDevice->PnPInfo().DevicePath;
    Form->close();
    EXPECT_EQ(LastCode(), 5);
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Idle);
    EXPECT_EQ(Form->Station.Closing, 1);
    EXPECT_EQ(Form->Station.StationDevice, nullptr);
    ASSERT_EQ(Form->HidDeviceController1->DeviceCount(), 1);
    THidDevice* device = Form->HidDeviceController1->Device(0);
    EXPECT_EQ(device->PnPInfo().DevicePath, path);
    EXPECT_FALSE(device->CheckedOut());
    EXPECT_EQ(device->ReadThread(), nullptr);
    EXPECT_EQ(Platform.OpenHandleCount(Station->DeviceId()), 0);
    // The history copy was whole, so closing kept it.
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral("met.mtb")));
}

// The signal path can be set up once per process, so there is one test of it.
TEST_F(StationE2E, SigtermClosesTheWindowTheNormalWay)
{
    static bool done = false;
    if (done)
        GTEST_SKIP() << "the signal path is set up once per process";
    done = true;
    ConnectStation();
    gui::CloseOnTerminationSignals(Form.get());
    ASSERT_TRUE(Form->isVisible());
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_TRUE(PumpUntil([this] { return !Form->isVisible(); }));
    EXPECT_EQ(Form->Station.Closing, 1);
    EXPECT_EQ(LastCode(), 5);
    EXPECT_EQ(Form->Station.StationDevice, nullptr);
}

} // namespace
} // namespace e2e
