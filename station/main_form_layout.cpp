// The window's layout: every control with its name, place, caption, font and initial state.
#include "chart/bar_series.h"
#include "chart/chart.h"
#include "core/alarm_watch.h"
#include "core/history_file.h"
#include "core/readings_text.h"
#include "gui/after_first_paint.h"
#include "gui/font_substitutes.h"
#include "gui/repaint_pacing.h"
#include "station/alarms_page.h"
#include "station/archive_page.h"
#include "station/day_chart.h"
#include "station/main_form.h"
#include "station/tray_side.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <memory>

namespace {

QFont LayoutFont(const QString& family, int pixelHeight)
{
    QFont font(family);
    font.setPixelSize(pixelHeight);
    font.setBold(true);
    return font;
}

template <class T>
T* Place(T* control, const char* name, int left, int top, int width, int height)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left, top, width, height);
    return control;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect place)
{
    return Place(new QPushButton(caption, parent), name, place.x(), place.y(), place.width(), place.height());
}

gui::TLabeledEdit* MakeLabeledEdit(QWidget* parent, const char* name, const QString& caption, QRect place)
{
    auto* edit = Place(new gui::TLabeledEdit(parent), name, place.x(), place.y(), place.width(), place.height());
    edit->SetCaption(caption);
    edit->EditLabel()->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
    edit->setReadOnly(true);
    return edit;
}

gui::TUpDown* MakeUpDown(QWidget* parent, const char* name, QRect place, int max, int position, bool wrap)
{
    auto* upDown = Place(new gui::TUpDown(parent), name, place.x(), place.y(), place.width(), place.height());
    upDown->SetMin(0);
    upDown->SetMax(max);
    upDown->SetPosition(position);
    upDown->SetWrap(wrap);
    return upDown;
}

QRadioButton* MakeRadio(QWidget* parent, const char* name, const QString& caption, QRect place)
{
    return Place(new QRadioButton(caption, parent), name, place.x(), place.y(), place.width(), place.height());
}

QGroupBox* MakeGroupBox(QWidget* parent, const char* name, const QString& caption, QRect place)
{
    return Place(new QGroupBox(caption, parent), name, place.x(), place.y(), place.width(), place.height());
}

gui::TPanel* MakeReadingsPanel(QWidget* parent, const char* name, const QString& caption, QRect place)
{
    auto* panel = Place(new gui::TPanel(parent), name, place.x(), place.y(), place.width(), place.height());
    panel->SetCaption(caption);
    panel->SetBevelInner(gui::TPanelBevel::bvLowered);
    panel->setFont(LayoutFont(QStringLiteral("Times New Roman"), 19));
    QPalette palette = panel->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(palette);
    return panel;
}

} // namespace

TForm1::TForm1(hidplatform::Platform& platform, QWidget* parent, TStart start)
    : QWidget(parent)
    , Core(*new TStationCore(platform, this))
    , Station(Core.Station)
    , History(Core.History)
    , HistoryOperation(Core.HistoryOperation)
{
    gui::InstallFontSubstitutes();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Метеостанция"));
    setFont(LayoutFont(QStringLiteral("MS Sans Serif"), 11));
    // Button-face colour for the whole window.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);
    setAutoFillBackground(true);

    PageControl1 = Place(new gui::TPageControl(this), "PageControl1", 0, 0, 607, 350);
    TabSheet1 = PageControl1->AddPage(QStringLiteral("TabSheet1"), QStringLiteral("Измерения"));
    TabSheet2 = PageControl1->AddPage(QStringLiteral("TabSheet2"), QStringLiteral("Диаграммы"));
    TabSheet3 = PageControl1->AddPage(QStringLiteral("TabSheet3"), QStringLiteral("Установки"));
    TabSheet4 = PageControl1->AddPage(QStringLiteral("TabSheet4"), QStringLiteral("Справка"));
    TabSheet5 = PageControl1->AddPage(QStringLiteral("TabSheet5"), QStringLiteral("Архив"));
    TabSheet6 = PageControl1->AddPage(QStringLiteral("TabSheet6"), QStringLiteral("Публикация"));
    TabSheet7 = PageControl1->AddPage(QStringLiteral("TabSheet7"), QStringLiteral("Оповещения"));
    PageControl1->SetActivePageIndex(PageIndex(TFormPage::Readings));

    CreateReadingsPage();
    CreateDiagramPage();
    CreateSettingsPage();

    // The window fits its content: the client area is the page control.
    move(379, 218);
    setFixedSize(PageControl1->size());
    // A station that sends in bursts would otherwise have the window painted after every report.
    new gui::TRepaintPacing(this);
    ConnectHandlers();
    ConnectCore();
    AlarmWatch = new TAlarmWatch(Core, this);
    TraySide = new TTraySide(*this, Core, *AlarmWatch, [this] { ShowReadingsPageIfFree(); });
    ConnectAlarmWatch();
    CreateHidController();
    FormCreate();
    if (start == TStart::Whole)
        FinishStart();
    else
        gui::AfterFirstPaint(this, [this] { FinishStart(); });
}

void TForm1::CreateReadingsPage()
{
    QWidget* page = TabSheet1;
    Panel2 = MakeReadingsPanel(page, "Panel2", QStringLiteral("Температура в доме:"), {114, 16, 365, 33});
    Panel3 = MakeReadingsPanel(page, "Panel3", QStringLiteral("Температура на улице:"), {114, 72, 365, 33});
    Panel4 = MakeReadingsPanel(page, "Panel4", QStringLiteral("Атмосферное давление:"), {114, 128, 365, 33});
    Panel5 = MakeReadingsPanel(page, "Panel5", QStringLiteral("Относительная влажность:"), {114, 184, 365, 33});
    Panel1 = MakeReadingsPanel(page, "Panel1", StationDisconnectedText, {145, 268, 305, 41});
    Panel1->SetBevelOuter(gui::TPanelBevel::bvNone);
    Panel1->setFont(LayoutFont(QStringLiteral("Palatino Linotype"), 19));

    OutlookLabel = Place(new QLabel(page), "OutlookLabel", 40, 222, 527, 42);
    OutlookLabel->setAlignment(Qt::AlignCenter);
    OutlookLabel->setWordWrap(true);
    AlarmLabel = Place(new QLabel(page), "AlarmLabel", 8, 306, 591, 16);
    AlarmLabel->setAlignment(Qt::AlignCenter);
    QPalette alarm = AlarmLabel->palette();
    alarm.setColor(QPalette::WindowText, Qt::darkRed);
    AlarmLabel->setPalette(alarm);
    AlarmLabel->hide();
}

void TForm1::CreateChart(QWidget* page)
{
    Chart1 = Place(new TChart(page), "Chart1", 0, 0, DayChartWidth, DayChartHeight);
    Series1 = SetUpDayChart(*Chart1);
}

void TForm1::CreateDiagramPage()
{
    QWidget* page = TabSheet2;
    CreateChart(page);
    UpDown2 = MakeUpDown(page, "UpDown2", {515, 0, 75, 17}, 3, 1, true);
    Button1 = MakeButton(page, "Button1", QStringLiteral("Загрузить"), {515, 34, 75, 25});
    Button2 = MakeButton(page, "Button2", QStringLiteral("Очистить"), {515, 78, 75, 25});
    Button3 = MakeButton(page, "Button3", QStringLiteral("Сохранить"), {515, 122, 75, 25});
    LabeledEdit9 = MakeLabeledEdit(page, "LabeledEdit9", QStringLiteral("   Дата"), {524, 206, 57, 21});
    LabeledEdit10 = MakeLabeledEdit(page, "LabeledEdit10", QStringLiteral("Сохранения"), {515, 264, 75, 21});
    UpDown1 = MakeUpDown(page, "UpDown1", {515, 301, 75, 17}, 100, 50, true);

    // Over the lower edge of the chart, where it hides the hour labels only while it shows; the
    // path can be selected and copied.
    ExportNotice = new QLabel(page);
    ExportNotice->setObjectName(QStringLiteral("ExportNotice"));
    ExportNotice->setWordWrap(true);
    ExportNotice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ExportNotice->setFrameShape(QFrame::Box);
    ExportNotice->setMargin(4);
    ExportNotice->setAutoFillBackground(true);
    QPalette notice = ExportNotice->palette();
    notice.setColor(QPalette::Window, notice.color(QPalette::ToolTipBase));
    notice.setColor(QPalette::WindowText, notice.color(QPalette::ToolTipText));
    ExportNotice->setPalette(notice);
    ExportNotice->hide();
    ExportNoticeTimer = new QTimer(this);
    ExportNoticeTimer->setSingleShot(true);
    ExportNoticeTimer->setInterval(ExportNoticeShownMs);
    connect(ExportNoticeTimer, &QTimer::timeout, ExportNotice, &QWidget::hide);
}

void TForm1::CreateSettingsPage()
{
    QWidget* page = TabSheet3;

    RadioGroup1 = Place(new gui::TRadioGroup(page), "RadioGroup1", 388, 0, 193, 273);
    RadioGroup1->SetItems({QStringLiteral("Время, дата"), QStringLiteral("Коды датчиков"),
                           QStringLiteral("Атмосферное давление"), QStringLiteral("Относительная влажность"),
                           QStringLiteral("Таймер"), QStringLiteral("Сохранения")});

    GroupBox1 = MakeGroupBox(page, "GroupBox1", QString(), {16, 0, 73, 153});
    LabeledEdit1 = MakeLabeledEdit(GroupBox1, "LabeledEdit1", QStringLiteral("  Время"), {8, 24, 57, 21});
    LabeledEdit3 = MakeLabeledEdit(GroupBox1, "LabeledEdit3", QStringLiteral("Поправка"), {8, 64, 57, 21});
    UpDown3 = MakeUpDown(GroupBox1, "UpDown3", {8, 84, 57, 17}, ClockCorrectionMax, 0, false);
    LabeledEdit2 = MakeLabeledEdit(GroupBox1, "LabeledEdit2", QStringLiteral("   Дата"), {8, 120, 57, 21});

    GroupBox2 = MakeGroupBox(page, "GroupBox2", QString(), {104, 0, 249, 153});
    LabeledEdit4 = MakeLabeledEdit(GroupBox2, "LabeledEdit4", QStringLiteral(" Код датчика (Дом)"), {16, 24, 129, 21});
    LabeledEdit5 = MakeLabeledEdit(GroupBox2, "LabeledEdit5", QStringLiteral("Код датчика (Улица)"), {16, 64, 129, 21});
    RadioButton7 = MakeRadio(GroupBox2, "RadioButton7", QStringLiteral("Датчик (Дом)"), {16, 96, 105, 17});
    RadioButton8 = MakeRadio(GroupBox2, "RadioButton8", QStringLiteral("Датчик (Улица)"), {16, 120, 129, 17});
    RadioButton7->setChecked(true);
    Button4 = MakeButton(GroupBox2, "Button4", QStringLiteral("Считать"), {160, 24, 75, 25});
    Button5 = MakeButton(GroupBox2, "Button5", QStringLiteral("Очистить"), {160, 112, 75, 25});

    GroupBox3 = MakeGroupBox(page, "GroupBox3", QStringLiteral("Давление"), {16, 168, 73, 153});
    LabeledEdit6 = MakeLabeledEdit(GroupBox3, "LabeledEdit6", QStringLiteral("Поправка"), {8, 40, 57, 21});
    UpDown4 = MakeUpDown(GroupBox3, "UpDown4", {8, 60, 57, 17}, PressureCorrectionMax, 0, false);
    RadioButton1 = MakeRadio(GroupBox3, "RadioButton1", QStringLiteral("Вкл."), {8, 96, 57, 17});
    RadioButton2 = MakeRadio(GroupBox3, "RadioButton2", QStringLiteral("Выкл."), {8, 120, 57, 17});

    GroupBox4 = MakeGroupBox(page, "GroupBox4", QStringLiteral("Влажнос."), {104, 168, 73, 153});
    LabeledEdit7 = MakeLabeledEdit(GroupBox4, "LabeledEdit7", QStringLiteral("Поправка"), {8, 40, 57, 21});
    UpDown5 = MakeUpDown(GroupBox4, "UpDown5", {8, 60, 57, 17}, HumidityCorrectionMax, 0, false);
    RadioButton3 = MakeRadio(GroupBox4, "RadioButton3", QStringLiteral("Вкл."), {8, 96, 57, 17});
    RadioButton4 = MakeRadio(GroupBox4, "RadioButton4", QStringLiteral("Выкл."), {8, 120, 57, 17});

    GroupBox5 = MakeGroupBox(page, "GroupBox5", QStringLiteral("Таймер"), {192, 169, 73, 153});
    LabeledEdit8 = MakeLabeledEdit(GroupBox5, "LabeledEdit8", QStringLiteral("  Время"), {8, 40, 57, 21});
    UpDown6 = MakeUpDown(GroupBox5, "UpDown6", {8, 60, 57, 17}, TimerPositionMax, 0, false);
    RadioButton5 = MakeRadio(GroupBox5, "RadioButton5", QStringLiteral("Вкл."), {8, 96, 49, 17});
    RadioButton6 = MakeRadio(GroupBox5, "RadioButton6", QStringLiteral("Выкл."), {8, 120, 57, 17});

    GroupBox6 = MakeGroupBox(page, "GroupBox6", QStringLiteral("Сохранен."), {280, 169, 73, 153});
    RadioButton9 = MakeRadio(GroupBox6, "RadioButton9", QStringLiteral("Вкл."), {8, 48, 49, 17});
    RadioButton10 = MakeRadio(GroupBox6, "RadioButton10", QStringLiteral("Выкл."), {8, 96, 57, 17});

    Button6 = MakeButton(page, "Button6", QStringLiteral("Загрузить"), {388, 288, 81, 25});
    Button7 = MakeButton(page, "Button7", QStringLiteral("Установить"), {499, 288, 83, 25});

    // Stored state: everything on the page is off except "Загрузить" and the group boxes.
    RadioGroup1->setEnabled(false);
    DisableSettingControls();
    Button7->setEnabled(false);
}

void TForm1::CreateHelpPage()
{
    Memo1 = Place(new QPlainTextEdit(TabSheet4), "Memo1", 42, 88, 509, 121);
    Memo1->setReadOnly(true);
    Memo1->setFont(LayoutFont(QStringLiteral("Times New Roman"), 16));
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Base, QColor(255, 251, 240)); // cream
    palette.setColor(QPalette::Text, Qt::black);
    Memo1->setPalette(palette);
    Memo1->show(); // with its tab, also when the window was up before the page was made
    Memo1->setPlainText(QStringLiteral("Программа для работы с устройством \"Ветрокон\".\n"
                                       "Описание устройства — в паспорте изделия.\n"
                                       "Файл met.mtb не удалять.\n"
                                       "\n"
                                       "Версия: 1.2"));
}

void TForm1::CreateArchivePage()
{
    ArchivePage1 = Place(new TArchivePage(TabSheet5), "ArchivePage1", 0, 0, TabSheet5->width(), TabSheet5->height());
    ArchivePage1->SetToday([this] { return Now().date(); });
    ArchivePage1->SetFileWriter(
        [](const QString& path, const QByteArray& bytes) { os::ReplaceFileAtomically(path, bytes); });
    ArchivePage1->show(); // with its tab, also when the window was up before the page was made
}

void TForm1::CreateAlarmsPage()
{
    AlarmsPage1 = Place(new TAlarmsPage(TabSheet7), "AlarmsPage1", 0, 0, TabSheet7->width(), TabSheet7->height());
    AlarmsPage1->show(); // with its tab, also when the window was up before the page was made
    ConnectAlarmsPage();
}

void TForm1::ConnectHandlers()
{
    connect(PageControl1, &gui::TPageControl::Change, this, &TForm1::PageControl1Change);
    connect(RadioGroup1, &gui::TRadioGroup::Click, this, &TForm1::RadioGroup1Click);
    connect(UpDown1, &gui::TUpDown::Click, this, &TForm1::UpDown1Click);
    connect(UpDown2, &gui::TUpDown::Click, this, &TForm1::UpDown2Click);
    connect(UpDown3, &gui::TUpDown::Click, this, &TForm1::UpDown3Click);
    connect(UpDown4, &gui::TUpDown::Click, this, &TForm1::UpDown4Click);
    connect(UpDown5, &gui::TUpDown::Click, this, &TForm1::UpDown5Click);
    connect(UpDown6, &gui::TUpDown::Click, this, &TForm1::UpDown6Click);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    // The settings page fills its clock, date and codes as it is shown (settings_page.cpp).
    TabSheet3->installEventFilter(this);
}

void TForm1::ConnectCore()
{
    connect(&Core, &TStationCore::LinkChanged, this, &TForm1::ShowLinkState);
    connect(&Core, &TStationCore::StationConnected, this, &TForm1::EnableControlsOfStation);
    connect(&Core, &TStationCore::StationDisconnected, this, &TForm1::DisableControlsOfStation);
    connect(&Core, &TStationCore::ReportTaken, this, &TForm1::ShowReport);
    connect(&Core, &TStationCore::HistoryProgressed, this, &TForm1::ShowHistoryProgress);
    connect(&Core, &TStationCore::HistoryAbandoned, this, &TForm1::ShowHistoryAbandoned);
    connect(&Core, &TStationCore::ArchiveOpened, this, &TForm1::ShowArchiveOpened);
    connect(&Core, &TStationCore::ArchiveMessage, this, &TForm1::ShowArchiveMessage);
    connect(&Core, &TStationCore::DownloadMerged, this, &TForm1::ShowDownloadMerged);
    connect(&Core, &TStationCore::SampleWritten, this, &TForm1::ShowSampleWritten);
}
