// The program's one window: seven pages (readings, diagrams, settings, help, archive, publishing,
// alarms), a view of the station core it makes: it shows the core's state and turns its controls'
// events into the core's calls. Controls keep the names of the window layout; each is a public
// member and carries its name as its object name.
#pragma once

#include "chart/bar_series.h"
#include "chart/chart.h"
#include "core/day_values.h"
#include "core/station_core.h"
#include "gui/labeled_edit.h"
#include "gui/page_control.h"
#include "gui/panel.h"
#include "gui/radio_group.h"
#include "gui/up_down.h"

#include <QDateTime>
#include <QWidget>
#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class TAlarmsPage;
class TArchivePage;
class TPublishingFeed;
class TAlarmWatch;
class THidDevice;
class THidDeviceController;
class TTraySide;
namespace hidplatform {
class Platform;
}
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QRadioButton;

// The pages of PageControl1, in their order.
enum class TFormPage : int { Readings = 0, Diagram = 1, Settings = 2, Help = 3, Archive = 4, Publish = 5, Alarms = 6 };
constexpr int PageIndex(TFormPage page)
{
    return static_cast<int>(page);
}

class TForm1 : public QWidget
{
    Q_OBJECT

public:
    // The window's outer size in the layout; the client area is the page control's size.
    static constexpr int FormWidth = 623;
    static constexpr int FormHeight = 388;

    // What the window does before it is first shown: everything (`Whole`), or only what its first
    // picture needs, the rest (the archive and the help, archive, publishing and alarms pages, the
    // publishing, the alarms, forecast and tray settings and what they show, the message about
    // "met.mtb") just after that picture (`AfterFirstPaint`, the programs' choice: the window comes
    // up sooner).
    enum class TStart { Whole, AfterFirstPaint };
    // The window talks to HID devices through `platform`, which must outlive it: the system's
    // backend in the program, the simulated one in the demo and the tests.
    explicit TForm1(hidplatform::Platform& platform, QWidget* parent = nullptr, TStart start = TStart::Whole);
    ~TForm1() override;

    // The station application the window shows; the window owns it.
    TStationCore& Core;

    // Page control and pages.
    gui::TPageControl* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr; // "Измерения"
    QWidget* TabSheet2 = nullptr; // "Диаграммы"
    QWidget* TabSheet3 = nullptr; // "Установки"
    QWidget* TabSheet4 = nullptr; // "Справка"
    QWidget* TabSheet5 = nullptr; // "Архив"
    QWidget* TabSheet6 = nullptr; // "Публикация"
    QWidget* TabSheet7 = nullptr; // "Оповещения"

    // Readings page.
    gui::TPanel* Panel1 = nullptr; // link state
    gui::TPanel* Panel2 = nullptr; // indoor temperature
    gui::TPanel* Panel3 = nullptr; // outdoor temperature
    gui::TPanel* Panel4 = nullptr; // pressure
    gui::TPanel* Panel5 = nullptr; // humidity
    // Below the panels: the pressure's trend and the forecast, and the ringing alarm.
    QLabel* OutlookLabel = nullptr;
    QLabel* AlarmLabel = nullptr;

    // Diagram page.
    TChart* Chart1 = nullptr;
    TBarSeries* Series1 = nullptr;   // owned by Chart1
    gui::TUpDown* UpDown1 = nullptr; // day stepper
    gui::TUpDown* UpDown2 = nullptr; // quantity selector
    QPushButton* Button1 = nullptr;  // history download
    QPushButton* Button2 = nullptr;  // history clear
    QPushButton* Button3 = nullptr;  // text export
    gui::TLabeledEdit* LabeledEdit9 = nullptr;
    gui::TLabeledEdit* LabeledEdit10 = nullptr;

    // Settings page.
    gui::TRadioGroup* RadioGroup1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QGroupBox* GroupBox4 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    gui::TLabeledEdit* LabeledEdit1 = nullptr;
    gui::TLabeledEdit* LabeledEdit2 = nullptr;
    gui::TLabeledEdit* LabeledEdit3 = nullptr;
    gui::TLabeledEdit* LabeledEdit4 = nullptr;
    gui::TLabeledEdit* LabeledEdit5 = nullptr;
    gui::TLabeledEdit* LabeledEdit6 = nullptr;
    gui::TLabeledEdit* LabeledEdit7 = nullptr;
    gui::TLabeledEdit* LabeledEdit8 = nullptr;
    gui::TUpDown* UpDown3 = nullptr;
    gui::TUpDown* UpDown4 = nullptr;
    gui::TUpDown* UpDown5 = nullptr;
    gui::TUpDown* UpDown6 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    QRadioButton* RadioButton6 = nullptr;
    QRadioButton* RadioButton7 = nullptr;
    QRadioButton* RadioButton8 = nullptr;
    QRadioButton* RadioButton9 = nullptr;
    QRadioButton* RadioButton10 = nullptr;
    QPushButton* Button4 = nullptr; // read sensor code
    QPushButton* Button5 = nullptr; // clear sensor code
    QPushButton* Button6 = nullptr; // load settings
    QPushButton* Button7 = nullptr; // apply the selected setting

    // Help page.
    QPlainTextEdit* Memo1 = nullptr;

    // Archive page; made with the archive's opening.
    TArchivePage* ArchivePage1 = nullptr;

    // Publishing page: the publishing's own page (a column of blocks, the MQTT one first), or, where
    // the publishing could not be had, the label that says why.
    QWidget* PublishPage1 = nullptr;
    QLabel* PublishUnavailableLabel = nullptr;

    // Alarms page.
    TAlarmsPage* AlarmsPage1 = nullptr;

    // The alarms with the trend and forecast, shown on the readings page and in the tray; the
    // tray icon with the desktop's notifications. Both owned by the window.
    TAlarmWatch* AlarmWatch = nullptr;
    TTraySide* TraySide = nullptr;
    // The station streams its readings to the page shown and no download or clear runs.
    bool StreamingReadings() const;
    // Turns to the readings page unless a page with the stream is shown or a download or clear runs.
    void ShowReadingsPageIfFree();

    // A download or clear whose station sends nothing for this long ends as if the station had
    // gone, and the user is told. Tests shorten it.
    void SetHistoryStallTimeout(int ms);
    int HistoryStallTimeout() const;
    // On the readings and settings pages a station that has sent nothing for this long is shown
    // as sending no data, until its next report. Tests change it.
    static constexpr int DefaultStreamSilenceTimeoutMs = TStationCore::DefaultStreamSilenceTimeoutMs;
    void SetStreamSilenceTimeout(int ms);

    // Where the last export went, shown over the diagram for a while after «Сохранить».
    QLabel* ExportNotice = nullptr;
    static constexpr int ExportNoticeShownMs = 20000;

    // The HID controller that finds the station (the core's).
    THidDeviceController* HidDeviceController1 = nullptr;

    // The station record, the program's copy of the station's history memory (loaded from and
    // saved to "met.mtb") and the history download or clear while it runs: the core's.
    TStationRecord& Station;
    THistoryState& History;
    THistoryOperation& HistoryOperation;

    // The publishing (publish_link.cpp), fed by the core; the window owns it. None until the rest of
    // the start; none where it could not be had.
    TPublishingFeed* Publishing = nullptr;

    // The computer's clock as the settings command reads it; tests fix the time with SetClock.
    using TClock = std::function<QDateTime()>;
    void SetClock(TClock clock); // an empty function restores the real clock
    QDateTime Now() const;

    // A Yes/No question to the user (a modal box with "Да" and "Нет"); true for Yes. Tests answer
    // it with SetQuestion; an empty function restores the box.
    using TQuestion = std::function<bool(const QString& text)>;
    void SetQuestion(TQuestion question);
    bool Ask(const QString& text);

    // One input report's data (the bytes after the report id), given to the core: copied into the
    // report image, then shown on the readings and settings pages. A null pointer counts as no data.
    void HandleInputReport(const std::uint8_t* bytes, std::uint16_t size);
    // A station has been matched (after the check-out): the core tells it to stream, and the
    // window shows it and frees the station's buttons.
    void ShowStationConnected();
    // The station has gone away (after its release): the core keeps its last sample, and the window
    // shows placeholders and turns the station's controls off.
    void ShowStationDisconnected();
    // A failed read, with the system's text for the error: the link panel says it.
    void ShowReadError(const QString& systemMessage);

    // The station link: the controller's handlers, which hand its events to the core.
    bool HidDeviceController1Enumerate(THidDevice* HidDev, int Idx);
    void HidDeviceController1Arrival(THidDevice* HidDev);
    void HidDeviceController1DeviceData(THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                                        std::uint16_t Size);
    void HidDeviceController1DeviceUnplug(THidDevice* HidDev);
    void HidDeviceController1DeviceDataError(THidDevice* HidDev, std::uint32_t Error);

    void FormCreate();
    // The rest of the start-up, once: run after the first paint, or at once by a caller that needs
    // it before (a window that starts in the tray is never painted).
    void FinishStart();
    // False when the window must stay open: "met.mtb" could not be written and the user chose
    // not to close without it.
    bool FormClose();
    void RefreshDisplay();
    void PageControl1Change();
    void RadioGroup1Click();
    void UpDown3Click();
    void UpDown4Click();
    void UpDown5Click();
    void UpDown6Click();
    void Button4Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void BuildSettingsCommand();
    void Button1Click(); // history download
    void Button2Click(); // history clear
    void Button3Click(); // export to "met.txt"
    // Record count into LabeledEdit10 and the newest day into the history state.
    void ScanHistory();
    // "Сохранить" at start, station or not: on when the copy holds a dated record.
    void EnableTextExportOfTheCopy();
    void DisableStationButtons();
    void EnableStationButtons();
    void DisableSettingControls();

    // The daily diagram (day_diagram.cpp): the chart, its title and the date text for
    // SelectedDate and DiagramQuantity.
    void DrawDayDiagram();
    // MonthLength for SelectedDate's month and year.
    void DaysInMonth();
    // SelectedDate's day back to a real date after a step past the month's end or to day 0.
    void NormalizeDay();
    void UpDown1Click(); // a day forward or back
    void UpDown2Click(); // the quantity
    // The hour values of the last redraw, HourMissing for an hour without a value.
    THourValues HourValues{};
    std::uint8_t MonthLength = 31;
    // UpDown1's position after the last day step; the direction of a click is read from it.
    std::uint8_t PreviousDayPosition = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    // The settings page being shown: its clock, date and codes from the last readings report.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateReadingsPage();
    void CreateDiagramPage();
    void CreateSettingsPage();
    void CreateHelpPage();
    void CreateArchivePage();
    // The publishing and its page, with the rest of the start: the page is hidden at first, and the
    // weather networks' uploads start once the archive is open.
    void CreatePublishPage();
    void ShowPublishingUnavailable(const QString& problem);
    void StartNetworkPublishing();
    void CreateAlarmsPage();
    // The alarms page's choices go to the alarms, the tray and the autostart entry.
    void ConnectAlarmsPage();
    // The alarms and the tray icon started with the settings they keep, shown on the alarms page.
    void StartAlarmsAndTray();
    // The trend, forecast and alarm lines of the readings page, kept up with the alarms.
    void ConnectAlarmWatch();
    void CreateChart(QWidget* page);
    void ConnectHandlers();
    // The window's share of the core's events.
    void ConnectCore();
    void CreateHidController();
    void ReleaseStationDevice();

    // The station's commands, through the core.
    bool SendReport();
    bool SendCommand(TCommandCode code);
    // Tells the user why the last command did not reach the station; nothing when there was no
    // station to send it to.
    void ShowSendError();
    // The link panel as the core's link state says.
    void ShowLinkState();
    // The station's buttons once it is matched, unless a download or clear runs; off when it went.
    void EnableControlsOfStation();
    void DisableControlsOfStation();
    // A report is in the image: the readings and settings pages show it.
    void ShowReport();
    void ShowExportNotice(const QString& path);
    void ShowPlaceholders();
    void RefreshReadings();
    void RefreshSettings();
    void ShowStationClockAndCodes();
    // An item other than "Коды датчиков" is selected, so "Установить" has something to send.
    bool SettableItemSelected() const;
    // "Коды датчиков" is selected, so "Считать" and "Очистить" may read and clear a code.
    bool SensorCodesSelected() const;

    // Sends the command of a download or clear and locks the buttons and pages until the station
    // has sent its 512 reports.
    void StartHistoryOperation(THistoryOperationKind kind);
    // A download's or clear's progress on its button; at the end, the count and the diagram anew,
    // the buttons and pages free again.
    void ShowHistoryProgress(const THistoryProgress& progress);
    void FinishHistoryOperation();
    // A download or clear ended before its last report: the buttons and pages free again and the
    // user told why.
    void ShowHistoryAbandoned(THistoryOperationKind kind, THistoryEnd how);
    bool HistoryOperationRunning() const { return HistoryOperation.Running(); }
    // Writes "met.mtb" when the image is complete; false when it could not and the user keeps the
    // window open.
    bool SaveHistoryAtClose();

    // The archive's side of the window (archive_link.cpp): the archive page once the core has opened
    // the archive, a merged download, a sample written.
    void OpenArchive();
    void ShowArchiveOpened();
    void ShowDownloadMerged(const archive::TMergeResult& result, int skipped);
    void ShowSampleWritten(bool ok);
    // A message about the archive, shown once the event that led to it has been handled: never in
    // the middle of a report, and never in the way of "met.mtb".
    void ShowArchiveMessage(const QString& message);

    TQuestion FQuestion;
    bool FAskingAtClose = false;
    // What FormCreate leaves for FinishStart: the help page, the publishing, the message about "met.mtb".
    bool FStarted = false;
    QString FLoadMessage;
    QTimer* ExportNoticeTimer = nullptr;
};
