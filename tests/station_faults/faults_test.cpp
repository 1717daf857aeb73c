// A misbehaving station, cable or system, end to end: the real window, controller, device and read
// thread over the simulated platform, with the stand-in station showing one fault at a time. What
// the user sees must stay true, and the history copy and "met.mtb" must never take damage.
#include "core/history_file.h"
#include "gui/error_box.h"
#include "tests/support/e2e_support.h"
#include "tests/support/history_images.h"
#include "tests/support/window_state.h"

#include <QPushButton>
#include <QTimer>
#include <cerrno>

using namespace std::chrono_literals;
using testsupport::PumpUntil;
using testsupport::ReadFileBytes;
using testsupport::SmallHistoryImage;
using testsupport::WriteFileBytes;

namespace {

const QString DownloadStalled =
    QStringLiteral("Метеостанция перестала отвечать, загрузка памяти прервана. Копия истории осталась прежней.");
const QString ClearStalled =
    QStringLiteral("Метеостанция перестала отвечать, очистка памяти не подтверждена. Копия истории осталась прежней.");
const QString DownloadDamaged = QStringLiteral(
    "Метеостанция присылает отчёты неверной длины, загрузка памяти прервана. Копия истории осталась прежней.");
const QString ClearDamaged = QStringLiteral(
    "Метеостанция присылает отчёты неверной длины, очистка памяти не подтверждена. Копия истории осталась прежней.");
const QString DownloadUnplugged =
    QStringLiteral("Метеостанция отключена, загрузка памяти прервана. Копия истории осталась прежней.");
const QString ClearUnplugged =
    QStringLiteral("Метеостанция отключена, очистка памяти не подтверждена. Копия истории осталась прежней.");

class StationFaults : public e2e::StationE2E
{
protected:
    void SetUp() override
    {
        e2e::StationE2E::SetUp();
        gui::SetErrorBoxHook([this](const QString& text) { ErrorBoxes.push_back(text); });
        // The user's history before each test.
        UserFile = HistoryFileBytes(SmallHistoryImage(), 2);
        ASSERT_TRUE(WriteFileBytes(HistoryFileName, UserFile));
        Station->Model().FillPlausibleHistory(40, {2024, 3, 7, 13, 0, 0}, 5);
        Station->Model().SetBlockInterval(0ms);
    }
    void TearDown() override
    {
        e2e::StationE2E::TearDown();
        gui::SetErrorBoxHook({});
    }

    // The window with the user's history, the station connected and its first report shown.
    void Start()
    {
        CreateForm();
        ConnectStation();
        ASSERT_EQ(Form->History.HistoryImage, SmallHistoryImage());
    }
    void ToDiagrams()
    {
        ClickTab(TFormPage::Diagram);
        ASSERT_EQ(Form->PageControl1->ActivePageIndex(), PageIndex(TFormPage::Diagram));
        ASSERT_TRUE(Settle());
    }
    void ClickEnabled(QPushButton* button)
    {
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        Click(button);
    }
    bool OperationEnded()
    {
        return PumpUntil([this] { return Form->Station.DownloadActive == 0 && Form->Station.ClearActive == 0; });
    }
    // The running operation ends by its stall, which only a test brings: the station's reports so
    // far are handled and it sends nothing more while its time stands, so the stall timer,
    // restarted short, runs out.
    bool StallEnded()
    {
        if (!Settle())
            return false;
        Form->SetHistoryStallTimeout(1);
        const bool ended = OperationEnded();
        Form->SetHistoryStallTimeout(std::numeric_limits<int>::max());
        return ended;
    }
    // The four readings as the station's latest sound report shows them.
    std::vector<QString> Readings() const
    {
        return {Form->Panel2->Caption(), Form->Panel3->Caption(), Form->Panel4->Caption(), Form->Panel5->Caption()};
    }
    std::vector<QString> ReadingsOf(const simulator::TInputReport& data) const
    {
        TReportImage image;
        std::copy(data.begin(), data.end(), image.begin());
        return {IndoorTemperatureText(image), OutdoorTemperatureText(image), PressureText(image), HumidityText(image)};
    }
    // The copy is the user's, and closing writes the user's file back unchanged.
    void ExpectUserHistoryKept()
    {
        EXPECT_EQ(Form->History.HistoryImage, SmallHistoryImage());
        EXPECT_EQ(Form->Station.HistoryComplete, 1);
        EXPECT_TRUE(Form->close());
        EXPECT_EQ(ReadFileBytes(HistoryFileName), UserFile);
    }

    QByteArray UserFile;
    std::vector<QString> ErrorBoxes;
};

TEST_F(StationFaults, ShortReportsLeaveTheReadingsAndTheCopyAlone)
{
    Start();
    ASSERT_TRUE(Advance(1000));
    const std::vector<QString> before = Readings();
    const TReportImage image = Form->Station.ReportImage;
    ASSERT_EQ(before, ReadingsOf(Station->Model().ReadingsReport()));

    simulator::TStationFaults faults;
    for (std::size_t length : {0u, 1u, 12u, 40u, 63u}) {
        faults.ReportLength = length;
        Station->SetFaults(faults);
        Station->Model().SetClock({2024, 5, 1, 3, 0, 0}); // readings that would differ
        const std::uint64_t sent = Station->Traffic().Sent;
        ASSERT_TRUE(Advance(3000));
        EXPECT_GE(Station->Traffic().Sent, sent + 3) << length;
        EXPECT_EQ(Form->Station.ReportImage, image) << length;
        EXPECT_EQ(Readings(), before) << length;
    }

    // A download of short blocks counts none of them and ends by the stall time-out with the copy
    // as it was; the station was not silent, so the message says what it sent. The same for a
    // clear.
    ToDiagrams();
    ClickEnabled(Form->Button1);
    ASSERT_TRUE(StallEnded());
    ClickEnabled(Form->Button2);
    ASSERT_TRUE(StallEnded());
    EXPECT_EQ(ErrorBoxes, (std::vector<QString>{DownloadDamaged, ClearDamaged}));
    EXPECT_EQ(windowstate::ConnectedProblem(*Form), "");
    ExpectUserHistoryKept();
}

TEST_F(StationFaults, LongReportsAreTakenAsTheStationsOwn64Bytes)
{
    Start();
    simulator::TStationFaults faults;
    faults.ReportLength = 100;
    faults.ExtraByte = 0x33;
    Station->SetFaults(faults);
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(Readings(), ReadingsOf(Station->Model().ReadingsReport()));

    ToDiagrams();
    ClickEnabled(Form->Button1);
    ASSERT_TRUE(OperationEnded());
    EXPECT_TRUE(ErrorBoxes.empty());
    EXPECT_EQ(Form->History.HistoryImage, Station->Model().HistoryMemory());
    EXPECT_EQ(Form->Station.HistoryComplete, 1);
    EXPECT_EQ(windowstate::ConnectedProblem(*Form), "");
}

TEST_F(StationFaults, GarbageBetweenReportsNeverShowsAsReadingsOrEntersTheHistory)
{
    Start();
    // Garbage of any length, whole reports included: whatever the image holds is shown as such,
    // and the station's next report puts its own readings back.
    simulator::TStationFaults faults;
    faults.GarbageEvery = 1;
    faults.GarbageMaxLength = 128;
    faults.GarbageSeed = 99;
    Station->SetFaults(faults);
    for (int second = 0; second < 20; ++second) {
        ASSERT_TRUE(Advance(1000));
        const TReportImage& image = Form->Station.ReportImage;
        const std::vector<QString> shown{IndoorTemperatureText(image), OutdoorTemperatureText(image),
                                         PressureText(image), HumidityText(image)};
        EXPECT_EQ(Readings(), shown) << second;
    }
    EXPECT_EQ(Station->Traffic().Garbage, 20u);
    Station->ClearFaults();
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(Readings(), ReadingsOf(Station->Model().ReadingsReport()));

    // The settings page loads from whatever came last; its arrows stay within their ranges.
    ClickTab(TFormPage::Settings);
    faults.GarbageMaxLength = 64;
    Station->SetFaults(faults);
    ClickEnabled(Form->Button6);
    for (int second = 0; second < 5; ++second)
        ASSERT_TRUE(Advance(1000));
    EXPECT_LE(Form->UpDown3->Position(), 40);
    EXPECT_LE(Form->UpDown4->Position(), 80);
    EXPECT_LE(Form->UpDown5->Position(), 50);
    EXPECT_LE(Form->UpDown6->Position(), 90);

    // Damaged reports between the blocks of a download are no blocks: the copy is the memory.
    faults.GarbageEvery = 3;
    faults.GarbageMaxLength = 63;
    Station->SetFaults(faults);
    ToDiagrams();
    ClickEnabled(Form->Button1);
    ASSERT_TRUE(OperationEnded());
    EXPECT_GE(Station->Traffic().Garbage, 170u);
    EXPECT_TRUE(ErrorBoxes.empty());
    EXPECT_EQ(Form->History.HistoryImage, Station->Model().HistoryMemory());
    EXPECT_EQ(windowstate::ConnectedProblem(*Form), "");
}

TEST_F(StationFaults, DownloadWhoseStreamStopsKeepsTheCopyAndSaysSo)
{
    Start();
    ToDiagrams();
    simulator::TStationFaults faults;
    faults.QuietAfter = 100;
    Station->SetFaults(faults);
    ClickEnabled(Form->Button1);
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.BlockCount == 100; }));
    EXPECT_EQ(windowstate::OperationProblem(*Form), "");
    EXPECT_EQ(Form->Button1->text(), QStringLiteral("20%"));
    EXPECT_TRUE(ErrorBoxes.empty());

    ASSERT_TRUE(StallEnded());
    ASSERT_EQ(ErrorBoxes.size(), 1u);
    EXPECT_EQ(ErrorBoxes[0], DownloadStalled);
    EXPECT_EQ(windowstate::ConnectedProblem(*Form), "");
    EXPECT_EQ(Form->History.HistoryImage, SmallHistoryImage());
    EXPECT_EQ(Form->LabeledEdit10->Text(), QStringLiteral("3 (4096)"));
    // The station is told to stop, so a late rest of the transfer cannot come.
    EXPECT_EQ(LastCode(), 5);
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Idle);

    // Awake again, the station gives a whole download.
    Station->ClearFaults();
    ClickEnabled(Form->Button1);
    ASSERT_TRUE(OperationEnded());
    EXPECT_EQ(ErrorBoxes.size(), 1u);
    EXPECT_EQ(Form->History.HistoryImage, Station->Model().HistoryMemory());
}

TEST_F(StationFaults, ClearWhoseProgressStopsUnlocksThePageAndSaysSo)
{
    Start();
    ToDiagrams();
    simulator::TStationFaults faults;
    faults.QuietAfter = 10;
    Station->SetFaults(faults);
    ClickEnabled(Form->Button2);
    ASSERT_TRUE(StallEnded());
    ASSERT_EQ(ErrorBoxes.size(), 1u);
    EXPECT_EQ(ErrorBoxes[0], ClearStalled);
    EXPECT_EQ(windowstate::ConnectedProblem(*Form), "");
    ExpectUserHistoryKept();
}

TEST_F(StationFaults, FailingWritesAreToldForEveryButtonAndNeverLockThePageOrTouchTheCopy)
{
    Start();
    simulator::TStationFaults faults;
    faults.WriteError = EIO;
    Station->SetFaults(faults);
    // A page change is no command of the user's: its failure shows as the station's silence.
    ClickTab(TFormPage::Settings);
    EXPECT_EQ(Platform.FailedWrites(Station->DeviceId()), 1);
    EXPECT_TRUE(ErrorBoxes.empty());

    // Every button that sends something says when it could not, in Russian whatever the locale.
    const QString notSent = QStringLiteral("Не удалось отправить команду метеостанции: Ошибка ввода-вывода.");
    ClickEnabled(Form->Button6); // «Загрузить»
    ClickItem(0);
    ClickEnabled(Form->Button7); // «Установить»
    ClickItem(1);
    ClickEnabled(Form->Button4); // «Считать»
    ClickEnabled(Form->Button5); // «Очистить» of a sensor code
    EXPECT_EQ(ErrorBoxes, std::vector<QString>(4, notSent));
    ToDiagrams();
    ErrorBoxes.clear();
    const int failed = Platform.FailedWrites(Station->DeviceId());
    for (QPushButton* button : {Form->Button1, Form->Button2}) {
        ClickEnabled(button);
        EXPECT_EQ(windowstate::ConnectedProblem(*Form), "") << button->objectName().toStdString();
    }
    EXPECT_EQ(Platform.FailedWrites(Station->DeviceId()), failed + 2);
    EXPECT_EQ(ErrorBoxes, std::vector<QString>(2, notSent));
    EXPECT_EQ(Form->History.HistoryImage, SmallHistoryImage());
    EXPECT_EQ(Form->Station.HistoryComplete, 1);

    // The writes work again: the download goes through.
    Station->ClearFaults();
    ClickEnabled(Form->Button1);
    ASSERT_TRUE(OperationEnded());
    EXPECT_EQ(Form->History.HistoryImage, Station->Model().HistoryMemory());
}

TEST_F(StationFaults, StationThatFallsSilentIsShownSoUntilItSendsAgain)
{
    Start();
    const auto* watch = Form->findChild<QTimer*>(QStringLiteral("StreamSilenceTimer"));
    ASSERT_NE(watch, nullptr);
    simulator::TStationFaults quiet;
    quiet.QuietAfter = 0;
    for (TFormPage page : {TFormPage::Readings, TFormPage::Settings}) {
        ClickTab(page);
        ASSERT_TRUE(Advance(1000));
        EXPECT_EQ(Form->Panel1->Caption(), StationConnectedText) << PageIndex(page);
        // Still plugged in, the station stops sending: the link panel says so.
        Station->SetFaults(quiet);
        Station->Advance(3s);
        // Its silence runs out at once, once all it sent before is handled.
        ASSERT_TRUE(Settle()) << PageIndex(page);
        Form->SetStreamSilenceTimeout(1);
        ASSERT_TRUE(PumpUntil([this] { return Form->Panel1->Caption() == StationSilentText; })) << PageIndex(page);
        Form->SetStreamSilenceTimeout(std::numeric_limits<int>::max());
        EXPECT_EQ(windowstate::ConnectedProblem(*Form), "") << PageIndex(page);
        // Its next report brings the usual text back.
        Station->ClearFaults();
        ASSERT_TRUE(Advance(1000));
        EXPECT_EQ(Form->Panel1->Caption(), StationConnectedText) << PageIndex(page);
    }
    // The diagram and help pages ask for no stream, so its absence is nothing to report there.
    for (TFormPage page : {TFormPage::Diagram, TFormPage::Help}) {
        ClickTab(page);
        EXPECT_FALSE(watch->isActive()) << PageIndex(page);
    }
    // A read error says more than the silence and stays.
    ClickTab(TFormPage::Readings);
    EXPECT_TRUE(watch->isActive());
    Form->ShowReadError(QStringLiteral("Ошибка ввода-вывода"));
    Form->SetStreamSilenceTimeout(1); // the silence runs out at once
    ASSERT_TRUE(PumpUntil([watch] { return !watch->isActive(); }));
    EXPECT_EQ(Form->Panel1->Caption(), QStringLiteral("Ошибка чтения:Ошибка ввода-вывода"));
    // Unplugged, it is simply gone.
    Station->Unplug();
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.StationDevice == nullptr; }));
    EXPECT_FALSE(watch->isActive());
    EXPECT_EQ(windowstate::DisconnectedProblem(*Form), "");
    EXPECT_TRUE(ErrorBoxes.empty());
}

TEST_F(StationFaults, ReadThatCannotStartShowsWhyAndTheUnplugStillEndsTheLink)
{
    Start();
    simulator::TStationFaults faults;
    faults.ReadStartError = EPROTO;
    Station->SetFaults(faults);
    // The read already waiting takes one more report; every read after it fails to start.
    Station->Advance(1s);
    const QString expected = ReadErrorPrefix + QString::fromStdString(Platform.ErrorText(EPROTO));
    ASSERT_TRUE(PumpUntil([&] { return Form->Panel1->Caption() == expected; }));
    const std::vector<QString> before = Readings();
    EXPECT_EQ(before, ReadingsOf(Station->Model().ReadingsReport()));
    Station->Advance(3s);
    ASSERT_TRUE(testsupport::PumpPosted());
    EXPECT_EQ(Readings(), before);
    EXPECT_EQ(windowstate::ConnectedProblem(*Form), "");

    // A download asked for now gets no block through: it ends by itself, the copy as it was.
    ClickTab(TFormPage::Diagram);
    Form->SetHistoryStallTimeout(1); // no read starts, so nothing can come
    ClickEnabled(Form->Button1);
    ASSERT_TRUE(OperationEnded());
    EXPECT_EQ(ErrorBoxes, std::vector<QString>{DownloadStalled});
    EXPECT_EQ(Form->History.HistoryImage, SmallHistoryImage());

    Station->Unplug();
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.StationDevice == nullptr; }));
    EXPECT_EQ(windowstate::DisconnectedProblem(*Form), "");
    ExpectUserHistoryKept();
}

// The cable pulled at one exact moment: right after the station's n-th report of an activity.
struct UnplugMoment
{
    const char* Name;
    int Page;         // where the user is
    int Button;       // 1 download, 2 clear, 6 settings load, 0 none
    int AfterReports; // reports of the activity before the cable goes
};

class UnplugAtAnyMoment : public StationFaults, public ::testing::WithParamInterface<UnplugMoment>
{};

TEST_P(UnplugAtAnyMoment, LeavesTheDisconnectedStateAndTheCopyWhole)
{
    const UnplugMoment moment = GetParam();
    Start();
    if (moment.Page == 1)
        ToDiagrams();
    if (moment.Page == 2)
        ClickTab(TFormPage::Settings);
    simulator::TStationFaults faults;
    faults.UnplugAfter = moment.AfterReports;
    Station->SetFaults(faults);
    if (moment.Button == 1)
        ClickEnabled(Form->Button1);
    else if (moment.Button == 2)
        ClickEnabled(Form->Button2);
    else if (moment.Button == 6)
        ClickEnabled(Form->Button6);
    Station->Advance(5s);
    ASSERT_TRUE(PumpUntil([this] { return Form->Station.StationDevice == nullptr; }));
    EXPECT_EQ(Station->Traffic().FaultUnplugs, 1u);
    EXPECT_EQ(windowstate::DisconnectedProblem(*Form), "");
    // A download or clear that the unplug ended says so, once the unplug has been dealt with.
    std::vector<QString> told;
    if (moment.Button == 1)
        told = {DownloadUnplugged};
    if (moment.Button == 2)
        told = {ClearUnplugged};
    EXPECT_TRUE(PumpUntil([&] { return ErrorBoxes.size() >= told.size(); }, 20000));
    EXPECT_EQ(ErrorBoxes, told);
    EXPECT_EQ(Form->History.HistoryImage, SmallHistoryImage());
    EXPECT_EQ(Platform.OpenHandleCount(Station->DeviceId()), 0);

    // Back again, the station is matched as ever and nothing of the cut activity lingers.
    Station->ClearFaults();
    PlugStation();
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(Advance(1000));
    EXPECT_EQ(windowstate::ConnectedProblem(*Form), "");
    EXPECT_EQ(Form->History.HistoryImage, SmallHistoryImage());
    if (Form->PageControl1->ActivePageIndex() != PageIndex(TFormPage::Diagram)) {
        EXPECT_EQ(Readings(), ReadingsOf(Station->Model().ReadingsReport()));
    }
    EXPECT_EQ(ErrorBoxes, told);
    ExpectUserHistoryKept();
}

INSTANTIATE_TEST_SUITE_P(Moments, UnplugAtAnyMoment,
                         ::testing::Values(UnplugMoment{"Readings", 0, 0, 2}, UnplugMoment{"SettingsLoad", 2, 6, 1},
                                           UnplugMoment{"DownloadFirstBlock", 1, 1, 1},
                                           UnplugMoment{"DownloadHalfway", 1, 1, 256},
                                           UnplugMoment{"DownloadBeforeTheLastBlock", 1, 1, 511},
                                           UnplugMoment{"ClearStart", 1, 2, 1}, UnplugMoment{"ClearEnd", 1, 2, 511}),
                         [](const ::testing::TestParamInfo<UnplugMoment>& moment) {
                             return std::string(moment.param.Name);
                         });

} // namespace
