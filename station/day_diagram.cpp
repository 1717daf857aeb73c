// The daily diagram of the diagram page: the selected day's 24 hourly values of one quantity, and
// the two up-downs that step the day and choose the quantity.
#include "chart/chart.h"
#include "station/day_chart.h"
#include "station/main_form.h"

namespace {

constexpr int UpDownCentre = 50;

} // namespace

void TForm1::DrawDayDiagram()
{
    // The diagram knows four quantities; anything else is the first, on the selector too, so the
    // title, the bars and the saved choice agree.
    const std::optional<base::TQuantity> stored = base::QuantityOfNumber(History.DiagramQuantity);
    const base::TQuantity quantity = stored.value_or(base::TQuantity::IndoorTemperature);
    if (!stored) {
        History.DiagramQuantity = static_cast<std::uint8_t>(base::QuantityNumber(quantity));
        UpDown2->SetPosition(History.DiagramQuantity);
    }
    Chart1->Title().SetLine(0, base::QuantityTitle(quantity));
    LabeledEdit9->SetText(DiagramDateText(History.SelectedDate));

    HourValues = DayHourValues(History.HistoryImage, History.SelectedDate, quantity);
    ShowDayBars(*Chart1, *Series1, HourValues);
}

void TForm1::DaysInMonth()
{
    MonthLength = ::DaysInMonth(History.SelectedDate.Month, History.SelectedDate.Year);
}

void TForm1::NormalizeDay()
{
    DaysInMonth();
    ::NormalizeDay(History.SelectedDate);
    DaysInMonth();
}

void TForm1::UpDown1Click()
{
    TSelectedDate& date = History.SelectedDate;
    const int position = UpDown1->Position();
    if (position > PreviousDayPosition) {
        // Forward, but not past the last day a two-digit year can name.
        TSelectedDate next = date;
        ++next.Day;
        ::NormalizeDay(next);
        if (!DateBefore(LastDiagramDate, next))
            date = next;
    }
    if (position < PreviousDayPosition && date.Year > FirstDiagramDate.Year) {
        DaysInMonth();
        // A damaged day beyond the month's end steps back to the month's last day; a day 0 is left
        // for NormalizeDay, which makes it the last day of the month before (counting down from 0
        // would wrap to 255 and step forward).
        if (date.Day > MonthLength)
            date.Day = MonthLength;
        else if (date.Day > 0)
            --date.Day;
    }
    NormalizeDay();
    PreviousDayPosition = static_cast<std::uint8_t>(UpDown1->Position());
    DrawDayDiagram();
    // Re-centred before an end is reached, so wrapping never turns a step around.
    if (PreviousDayPosition == UpDown1->Max() || PreviousDayPosition == UpDown1->Min()) {
        PreviousDayPosition = UpDownCentre;
        UpDown1->SetPosition(UpDownCentre);
    }
}

void TForm1::UpDown2Click()
{
    History.DiagramQuantity = static_cast<std::uint8_t>(UpDown2->Position());
    DrawDayDiagram();
}
