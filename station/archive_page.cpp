#include "station/archive_page.h"

#include "chart/bar_series.h"
#include "chart/chart.h"
#include "gui/error_box.h"
#include "gui/question_box.h"
#include "gui/radio_group.h"
#include "gui/up_down.h"
#include "station/range_bar_series.h"

#include <QBuffer>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QStringList>
#include <cmath>
#include <stdexcept>
#include <vector>

using namespace archive;

namespace {

const QString LastFolderSetting = QStringLiteral("last export folder");
// As Qt's own save dialog asks it.
const QString ReplaceQuestion = QStringLiteral("%1 уже существует.\nЗаменить его?");
const QDate EarliestDate(2000, 1, 1);
const QDate LatestDate(2099, 12, 31);
constexpr int PeriodUpDownCentre = 50;
constexpr int HoldingsWidth = 596;
const TColor RangeColor = RGBColor(120, 160, 235);

const char* const DayOfWeekNames[] = {"пн", "вт", "ср", "чт", "пт", "сб", "вс"};
const char* const MonthShortNames[] = {"янв", "фев", "мар", "апр", "май", "июн",
                                       "июл", "авг", "сен", "окт", "ноя", "дек"};

QFont PageFont(int pixelHeight, bool bold)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

template <class T>
T* Place(T* control, const char* name, QRect place)
{
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(place);
    return control;
}

struct TCsvKindChoice
{
    QString Filter;
    TCsvKind Kind;
};

// The kinds of CSV the export dialog offers, the first chosen unless the user picks another.
const std::vector<TCsvKindChoice>& CsvKindChoices()
{
    static const std::vector<TCsvKindChoice> choices = {
        {QStringLiteral("CSV (UTF-8, запятая) (*.csv)"), TCsvKind::Comma},
        {QStringLiteral("CSV для Excel (точка с запятой) (*.csv)"), TCsvKind::Excel},
    };
    return choices;
}

// The save dialog adds `suffix` to a name typed without one before it looks for a file of that
// name, so the question whether to replace one always comes.
QString AskSavePath(QWidget* parent, const QString& caption, const QString& suggested, const QString& filters,
                    const QString& suffix, QString* chosenFilter)
{
    QFileDialog dialog(parent, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(filters);
    if (chosenFilter != nullptr && !chosenFilter->isEmpty())
        dialog.selectNameFilter(*chosenFilter);
    dialog.setDefaultSuffix(suffix);
    dialog.setDirectory(QFileInfo(suggested).absolutePath());
    dialog.selectFile(QFileInfo(suggested).fileName());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    if (chosenFilter != nullptr)
        *chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().value(0);
}

void WriteWithSaveFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error(QStringLiteral("Не удалось записать файл «%1»: %2")
                                     .arg(QDir::toNativeSeparators(path), file.errorString())
                                     .toUtf8()
                                     .toStdString());
}

} // namespace

TArchivePage::TArchivePage(QWidget* parent)
    : QWidget(parent)
    , FToday([] { return QDate::currentDate(); })
    , FWriter(WriteWithSaveFile)
{
    setObjectName(QStringLiteral("ArchivePage"));
    CreateChart();

    QuantityUpDown = Place(new gui::TUpDown(this), "QuantityUpDown", {490, 0, 110, 17});
    QuantityUpDown->SetMin(0);
    QuantityUpDown->SetMax(base::QuantityCount - 1);
    QuantityUpDown->SetWrap(true);
    connect(QuantityUpDown, &gui::TUpDown::Click, this,
            [this] { SetQuantity(static_cast<base::TQuantity>(QuantityUpDown->Position())); });

    PeriodGroup = Place(new gui::TRadioGroup(this), "PeriodGroup", {490, 22, 110, 100});
    PeriodGroup->setTitle(QStringLiteral("Период"));
    PeriodGroup->SetItems(
        {QStringLiteral("день"), QStringLiteral("неделя"), QStringLiteral("месяц"), QStringLiteral("год")});
    PeriodGroup->SetItemIndex(static_cast<int>(FKind));
    connect(PeriodGroup, &gui::TRadioGroup::Click, this,
            [this] { ShowPeriod(static_cast<TPeriodKind>(PeriodGroup->ItemIndex()), FAnchor); });

    auto* stepLabel =
        Place(new QLabel(QStringLiteral("Назад, вперёд"), this), "PeriodUpDownLabel", {490, 127, 110, 14});
    stepLabel->setFont(PageFont(11, false));
    PeriodUpDown = Place(new gui::TUpDown(this), "PeriodUpDown", {490, 142, 110, 17});
    PeriodUpDown->SetMin(0);
    PeriodUpDown->SetMax(2 * PeriodUpDownCentre);
    PeriodUpDown->SetPosition(PeriodUpDownCentre);
    connect(PeriodUpDown, &gui::TUpDown::Click, this, [this](gui::TUDBtnType button) {
        // Re-centred after every press, so that a press is never refused at an end.
        PeriodUpDown->SetPosition(PeriodUpDownCentre);
        Step(button == gui::TUDBtnType::btNext ? 1 : -1);
    });

    auto* dateLabel = Place(new QLabel(QStringLiteral("Перейти к дате"), this), "DateEditLabel", {490, 166, 110, 14});
    dateLabel->setFont(PageFont(11, false));
    DateEdit = Place(new QDateEdit(this), "DateEdit", {490, 181, 110, 21});
    DateEdit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    DateEdit->setCalendarPopup(true);
    DateEdit->setDateRange(EarliestDate, LatestDate);
    connect(DateEdit, &QDateEdit::dateChanged, this, [this](const QDate& date) {
        if (!FUpdatingControls)
            ShowPeriod(FKind, date);
    });

    ExportButton = Place(new QPushButton(QStringLiteral("Экспорт CSV…"), this), "ExportButton", {490, 222, 110, 25});
    connect(ExportButton, &QPushButton::clicked, this, &TArchivePage::ExportCsvClick);
    PngButton = Place(new QPushButton(QStringLiteral("Сохранить PNG…"), this), "PngButton", {490, 254, 110, 25});
    connect(PngButton, &QPushButton::clicked, this, &TArchivePage::SavePngClick);

    StatisticsLabel = Place(new QLabel(this), "StatisticsLabel", {4, 264, 482, 17});
    HoldingsLabel = Place(new QLabel(this), "HoldingsLabel", {4, 282, HoldingsWidth, 17});
    LastMergeLabel = Place(new QLabel(this), "LastMergeLabel", {4, 300, 596, 17});
    for (QLabel* label : {StatisticsLabel, HoldingsLabel, LastMergeLabel})
        label->setFont(PageFont(11, true));
    FutureHoursButton = Place(new QPushButton(QStringLiteral("Удалить часы с датой в будущем…"), this),
                              "FutureHoursButton", {400, 280, 200, 20});
    FutureHoursButton->setFont(PageFont(11, false));
    FutureHoursButton->hide();
    connect(FutureHoursButton, &QPushButton::clicked, this, &TArchivePage::DeleteFutureHoursClick);

    FAnchor = FToday();
}

TArchivePage::~TArchivePage() = default;

void TArchivePage::CreateChart()
{
    ArchiveChart = Place(new TChart(this), "ArchiveChart", {0, 0, 485, 262});
    ArchiveChart->SetMarginLeft(2);
    ArchiveChart->SetMarginTop(2);
    ArchiveChart->SetMarginRight(2);
    ArchiveChart->SetMarginBottom(2);
    ArchiveChart->Gradient().SetVisible(true);
    ArchiveChart->Gradient().SetEndColor(8454016);
    ArchiveChart->Title().Font().SetName(QStringLiteral("Arial"));
    ArchiveChart->Title().Font().SetHeight(-14);
    ArchiveChart->Title().Font().SetColor(clBlue);
    ArchiveChart->Title().SetText(QStringList{QString()});
    ArchiveChart->Legend().SetVisible(false);
    ArchiveChart->BackWall().Brush().SetColor(clWhite);
    ArchiveChart->SetView3D(false);
    ArchiveChart->SetBevelWidth(0);
    for (TChartAxis* axis : {ArchiveChart->BottomAxis(), ArchiveChart->LeftAxis()}) {
        axis->SetAutomatic(false);
        axis->SetAutomaticMaximum(false);
        axis->SetAutomaticMinimum(false);
        axis->SetExactDateTime(false);
        axis->LabelsFont().SetName(QStringLiteral("Arial"));
        axis->LabelsFont().SetHeight(-12);
        axis->LabelsFont().SetBold(true);
        axis->SetMinorTickCount(0);
        axis->SetMinorTickLength(0);
        axis->SetTickLength(2);
    }
    TChartAxis* bottom = ArchiveChart->BottomAxis();
    bottom->SetLabelsOnAxis(false);
    bottom->SetIncrement(1);
    // Plain numbers, so the label event can read the value back from the text.
    bottom->SetAxisValuesFormat(QStringLiteral("0.###"));
    ArchiveChart->OnGetAxisLabel = [this](TChartAxis* axis, TChartSeries*, int, QString& text) {
        if (axis != ArchiveChart->BottomAxis())
            return;
        QString number = text;
        number.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double value = number.toDouble(&ok);
        text = ok ? AxisLabel(value) : QString();
    };

    HourSeries = ArchiveChart->OwnSeries(std::make_unique<TBarSeries>());
    RangeSeries = ArchiveChart->OwnSeries(std::make_unique<TRangeBarSeries>());
    MeanSeries = ArchiveChart->OwnSeries(std::make_unique<TRangeBarSeries>());
    for (TBarSeries* series :
         {HourSeries, static_cast<TBarSeries*>(RangeSeries), static_cast<TBarSeries*>(MeanSeries)}) {
        series->SetColorEachPoint(true);
        series->SetShowInLegend(false);
        series->Marks().SetVisible(false);
    }
    // A year has bars of a pixel or two: outlines would hide their colour. The mean is a line of
    // its own colour across its range.
    RangeSeries->BarPen().SetVisible(false);
    MeanSeries->BarPen().SetVisible(false);
}

void TArchivePage::SetStore(TArchiveStore* store)
{
    // Answers still on their way are of the archive before.
    ++FViewRequest;
    ++FHoldingsRequest;
    FStore = store;
    ShowNewest();
}

void TArchivePage::ShowNewest()
{
    // A record the station dated wrongly (31.12.2099) must not take the page over at every start.
    const std::optional<THourKey> newest = FStore != nullptr ? FStore->NewestHour(LastHourOfToday()) : std::nullopt;
    FAnchor = newest ? DateOfHour(*newest) : FToday();
    Refresh();
}

void TArchivePage::SetToday(std::function<QDate()> today)
{
    FToday = today ? std::move(today) : [] { return QDate::currentDate(); };
}

void TArchivePage::SetFileWriter(TFileWriter writer)
{
    FWriter = writer ? std::move(writer) : TFileWriter(WriteWithSaveFile);
}

void TArchivePage::SetSaveDialog(TSaveDialog dialog)
{
    FSaveDialog = std::move(dialog);
}

void TArchivePage::SetQuestion(TQuestion question)
{
    FQuestion = std::move(question);
}

void TArchivePage::Refresh()
{
    FStale = true;
    FHoldingsStale = true;
    if (isVisible())
        Draw();
}

void TArchivePage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (FStale)
        Draw();
}

void TArchivePage::ShowPeriod(TPeriodKind kind, const QDate& date)
{
    FKind = kind;
    if (date.isValid())
        FAnchor = std::clamp(date, EarliestDate, LatestDate);
    Draw();
}

void TArchivePage::SetLastMerge(const QString& summary)
{
    LastMergeLabel->setText(summary);
}

void TArchivePage::Step(int steps)
{
    QDate next = FAnchor;
    switch (FKind) {
    case TPeriodKind::Day:
        next = FAnchor.addDays(steps);
        break;
    case TPeriodKind::Week:
        next = FAnchor.addDays(qint64{7} * steps);
        break;
    case TPeriodKind::Month:
        next = FAnchor.addMonths(steps);
        break;
    case TPeriodKind::Year:
        next = FAnchor.addYears(steps);
        break;
    }
    if (next < EarliestDate || next > LatestDate)
        return;
    ShowPeriod(FKind, next);
}

void TArchivePage::SetQuantity(base::TQuantity quantity)
{
    FQuantity = quantity;
    QuantityUpDown->SetPosition(static_cast<int>(quantity));
    // Nothing drawn yet: the first draw takes the quantity.
    if (!FView.Period.First.isValid())
        return;
    // The hours of the period are all there already; only the view changes.
    FView = BuildPeriodView(FHours, FView.Period, FQuantity);
    DrawChart();
    StatisticsLabel->setText(StatisticsText(FView.Statistics, FQuantity));
}

void TArchivePage::Draw()
{
    FStale = false;
    const TPeriod period = PeriodContaining(FKind, FAnchor);
    ShowControls();
    ExportButton->setEnabled(FStore != nullptr);
    if (FStore == nullptr) {
        ++FViewRequest;
        ShowView(period, {});
        if (FHoldingsStale) {
            FHoldingsStale = false;
            ShowHoldingsText(QStringLiteral("Архив не ведётся: файл архива недоступен"));
        }
        return;
    }
    TArchiveQueryThread::TRequest request;
    request.Path = FStore->Path();
    if (period.Kind == TPeriodKind::Day) {
        // A day's 24 hours are read at once; a longer period's answer still on its way is not wanted.
        ++FViewRequest;
        ShowView(period, FStore->Hours(period.FirstHour(), period.LastHour()));
    } else {
        request.ViewId = ++FViewRequest;
        request.First = period.FirstHour();
        request.Last = period.LastHour();
        FAskedPeriod = period;
    }
    if (FHoldingsStale) {
        // Counting the whole archive takes long in one of many years.
        FHoldingsStale = false;
        request.HoldingsId = ++FHoldingsRequest;
    }
    if (request.ViewId != 0 || request.HoldingsId != 0)
        Queries().Ask(request);
}

void TArchivePage::ShowControls()
{
    PeriodGroup->SetItemIndex(static_cast<int>(FKind));
    QuantityUpDown->SetPosition(static_cast<int>(FQuantity));
    // The date edit announces every change, the program's too.
    FUpdatingControls = true;
    DateEdit->setDate(FAnchor);
    FUpdatingControls = false;
}

void TArchivePage::ShowView(const TPeriod& period, std::vector<TArchiveHour> hours)
{
    FHours = std::move(hours);
    FView = BuildPeriodView(FHours, period, FQuantity);
    DrawChart();
    StatisticsLabel->setText(StatisticsText(FView.Statistics, FQuantity));
    emit ViewShown();
}

TArchiveQueryThread& TArchivePage::Queries()
{
    if (!FQueries)
        FQueries = std::make_unique<TArchiveQueryThread>(
            this, [this](const TArchiveQueryThread::TAnswer& answer) { TakeAnswer(answer); });
    return *FQueries;
}

void TArchivePage::TakeAnswer(const TArchiveQueryThread::TAnswer& answer)
{
    // The answer's archive could not be read aside (a file the store could open only as it is):
    // the store reads it here, as it did before.
    if (answer.ViewId != 0 && answer.ViewId == FViewRequest)
        ShowView(FAskedPeriod,
                 answer.Ok || FStore == nullptr ? answer.Hours
                                                : FStore->Hours(FAskedPeriod.FirstHour(), FAskedPeriod.LastHour()));
    if (answer.HoldingsId != 0 && answer.HoldingsId == FHoldingsRequest)
        ShowHoldings(answer.Ok || FStore == nullptr ? answer.Holdings : FStore->Holdings());
}

void TArchivePage::ShowHoldings(const THoldings& holdings)
{
    ShowHoldingsText(HoldingsText(holdings));
}

void TArchivePage::TValueSpan::Include(double low, double high)
{
    Lowest = Any ? std::min(Lowest, low) : low;
    Highest = Any ? std::max(Highest, high) : high;
    Any = true;
}

void TArchivePage::DrawChart()
{
    const TPeriodView& view = FView;
    ArchiveChart->Title().SetLine(0, base::QuantityTitle(FQuantity) + QStringLiteral(" — ") + PeriodText(view.Period));
    HourSeries->ClearPoints();
    RangeSeries->ClearPoints();
    MeanSeries->ClearPoints();
    const bool day = view.Period.Kind == TPeriodKind::Day;
    HourSeries->SetActive(day);
    RangeSeries->SetActive(!day);
    MeanSeries->SetActive(!day);

    const int columns = day ? static_cast<int>(view.HourValues.size()) : static_cast<int>(view.Days.size());
    const bool year = view.Period.Kind == TPeriodKind::Year;
    ArchiveChart->BottomAxis()->SetMinMax(year ? -0.5 : -1, year ? 12 : columns);
    // Numbers need room between them to read apart; the week's longer labels need less.
    ArchiveChart->BottomAxis()->SetLabelsSeparation(view.Period.Kind == TPeriodKind::Week ? 10 : 60);

    const TValueSpan span = day ? PlotHours() : PlotDays();
    if (!span.Any)
        ArchiveChart->LeftAxis()->SetMinMax(-1, 1);
    else
        ArchiveChart->LeftAxis()->SetMinMax(std::floor(span.Lowest) - 1, std::ceil(span.Highest) + 1);
}

TArchivePage::TValueSpan TArchivePage::PlotHours()
{
    TValueSpan span;
    const int columns = static_cast<int>(FView.HourValues.size());
    for (int h = 0; h < columns; ++h) {
        const double value = FView.HourValues[static_cast<std::size_t>(h)];
        if (HasValue(value)) {
            HourSeries->AddPoint(h, value, QString(), clBlue);
            span.Include(value, value);
        } else {
            HourSeries->AddNull(h, 0);
        }
    }
    return span;
}

TArchivePage::TValueSpan TArchivePage::PlotDays()
{
    const TPeriodView& view = FView;
    const bool year = view.Period.Kind == TPeriodKind::Year;
    // A year's days stand in their months: month m spans m..m + 1, so the labels fall on the
    // months' first days.
    auto dayPosition = [&view, year](int index) {
        if (!year)
            return static_cast<double>(index);
        const QDate date = view.Period.First.addDays(index);
        return date.month() - 1 + (date.day() - 1) / static_cast<double>(date.daysInMonth());
    };
    TValueSpan span;
    const int columns = static_cast<int>(view.Days.size());
    for (int d = 0; d < columns; ++d) {
        const TDaySummary& summary = view.Days[static_cast<std::size_t>(d)];
        if (summary.Hours == 0) {
            // A point that is not drawn: the bars' width follows the number of points, which
            // is to be the period's days.
            RangeSeries->AddRange(dayPosition(d), 0, 0, clNone);
            MeanSeries->AddRange(dayPosition(d), 0, 0, clNone);
            continue;
        }
        RangeSeries->AddRange(dayPosition(d), summary.Minimum, summary.Maximum, RangeColor);
        MeanSeries->AddRange(dayPosition(d), summary.Mean, summary.Mean, clRed);
        span.Include(summary.Minimum, summary.Maximum);
    }
    return span;
}

QString TArchivePage::AxisLabel(double value) const
{
    const TPeriod& period = FView.Period;
    const long index = std::lround(value);
    const int columns = period.Kind == TPeriodKind::Day ? 24 : (period.Kind == TPeriodKind::Year ? 12 : period.Days());
    if (std::fabs(value - index) > 1e-9 || index < 0 || index >= columns) {
        // Only the axis' ends, which get no label, are asked for such values: the chart measures
        // their texts to space the labels, so they are as wide as the widest labels.
        return AxisLabel(columns - 1);
    }
    switch (period.Kind) {
    case TPeriodKind::Day:
        return QString::number(index);
    case TPeriodKind::Week: {
        const QDate date = period.First.addDays(index);
        return QString::fromUtf8(DayOfWeekNames[date.dayOfWeek() - 1]) + QLatin1Char(' ') +
            date.toString(QStringLiteral("dd.MM"));
    }
    case TPeriodKind::Month:
        return QString::number(index + 1);
    case TPeriodKind::Year:
        return QString::fromUtf8(MonthShortNames[index]);
    }
    return {};
}

QString TArchivePage::SuggestedName(const QString& extension) const
{
    const TPeriod& period = FView.Period;
    QString name;
    switch (period.Kind) {
    case TPeriodKind::Day:
        name = period.First.toString(QStringLiteral("yyyy-MM-dd"));
        break;
    case TPeriodKind::Week:
        name = period.First.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char('-') +
            period.Last.toString(QStringLiteral("yyyy-MM-dd"));
        break;
    case TPeriodKind::Month:
        name = period.First.toString(QStringLiteral("yyyy-MM"));
        break;
    case TPeriodKind::Year:
        name = period.First.toString(QStringLiteral("yyyy"));
        break;
    }
    return QStringLiteral("meteo-") + name + QLatin1Char('.') + extension;
}

QString TArchivePage::ChooseFile(const QString& caption, const QString& extension, const QString& filters,
                                 QString* chosenFilter)
{
    QString folder = FStore != nullptr ? FStore->Setting(LastFolderSetting) : QString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::currentPath();
    const QString suggested = QDir(folder).filePath(SuggestedName(extension));
    QString path = FSaveDialog ? FSaveDialog(caption, suggested, filters, chosenFilter)
                               : AskSavePath(this, caption, suggested, filters, extension, chosenFilter);
    if (path.isEmpty())
        return {};
    if (QFileInfo(path).suffix().isEmpty()) {
        // A system dialog that left the suffix out has not asked about the file with it.
        path += QLatin1Char('.') + extension;
        if (QFileInfo::exists(path) && !gui::AskYesNo(ReplaceQuestion.arg(QFileInfo(path).fileName()), this))
            return {};
    }
    // Remembered with the archive, so the next export (also after a restart) starts there.
    if (FStore != nullptr)
        FStore->SetSetting(LastFolderSetting, QFileInfo(path).absolutePath());
    return path;
}

void TArchivePage::ExportCsvClick()
{
    QStringList filters;
    for (const TCsvKindChoice& choice : CsvKindChoices())
        filters << choice.Filter;
    QString chosenFilter = filters.first();
    const QString path = ChooseFile(QStringLiteral("Экспорт архива в CSV"), QStringLiteral("csv"),
                                    filters.join(QStringLiteral(";;")), &chosenFilter);
    if (path.isEmpty())
        return;
    TCsvKind kind = TCsvKind::Comma;
    for (const TCsvKindChoice& choice : CsvKindChoices())
        if (choice.Filter == chosenFilter)
            kind = choice.Kind;
    ExportCsv(path, kind);
}

void TArchivePage::SavePngClick()
{
    const QString path = ChooseFile(QStringLiteral("Сохранить график в PNG"), QStringLiteral("png"),
                                    QStringLiteral("Рисунок PNG (*.png)"));
    if (!path.isEmpty())
        SavePng(path);
}

bool TArchivePage::ExportCsv(const QString& path, TCsvKind kind)
{
    const TPeriod& period = FView.Period;
    // Before the first view is drawn there is no period yet: the file holds the header alone.
    if (!period.First.isValid() || !period.Last.isValid())
        return WriteFile(path, ArchiveCsv({}, 1, 0, kind));
    return WriteFile(path, ArchiveCsv(FHours, period.FirstHour(), period.LastHour(), kind));
}

bool TArchivePage::SavePng(const QString& path)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!ArchiveChart->RenderToImage().save(&buffer, "PNG")) {
        gui::ShowErrorBox(QStringLiteral("Не удалось построить рисунок PNG"));
        return false;
    }
    return WriteFile(path, bytes);
}

bool TArchivePage::WriteFile(const QString& path, const QByteArray& bytes)
{
    try {
        FWriter(path, bytes);
        return true;
    } catch (const std::exception& error) {
        gui::ShowErrorBox(QString::fromUtf8(error.what()));
        return false;
    }
}

THourKey TArchivePage::LastHourOfToday() const
{
    return HourKey(FToday(), 23);
}

void TArchivePage::ShowHoldingsText(QString text)
{
    // Hours dated after today are few and found by the key: counted here, at once.
    const std::int64_t future = FStore != nullptr ? FStore->StationHoursAfter(LastHourOfToday()) : 0;
    if (future > 0)
        text += QStringLiteral("; ") + FutureHoursText(future);
    HoldingsLabel->setText(text);
    // The button takes the end of the line while it is needed.
    FutureHoursButton->setVisible(future > 0);
    HoldingsLabel->resize(future > 0 ? FutureHoursButton->x() - 8 : HoldingsWidth, HoldingsLabel->height());
}

void TArchivePage::DeleteFutureHoursClick()
{
    if (FStore == nullptr)
        return;
    const THourKey last = LastHourOfToday();
    const std::int64_t future = FStore->StationHoursAfter(last);
    if (future > 0) {
        const QString question =
            QStringLiteral("Удалить из архива %1 (записи метеостанции, датированные позже %2)?")
                .arg(FutureHoursText(future), DateOfHour(last).toString(QStringLiteral("dd.MM.yyyy")));
        if (!(FQuestion ? FQuestion(question) : gui::AskYesNo(question, this)))
            return;
        const TWriteResult result = FStore->DeleteStationHoursAfter(last);
        if (!result.Message.isEmpty())
            gui::ShowErrorBox(result.Message);
    }
    ShowNewest();
}
