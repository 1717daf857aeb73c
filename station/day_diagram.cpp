// The daily diagram of the diagram page: the selected day's 24 hourly values of one quantity.
#include "station/main_form.h"

namespace {

// Decimal, with a "0" in front below 10.
QString TwoDigits(int value)
{
    return value < 10 ? QLatin1Char('0') + QString::number(value) : QString::number(value);
}

} // namespace

void TForm1::DrawDayDiagram()
{
    const TSelectedDate& date = History.SelectedDate;
    LabeledEdit9->SetText(TwoDigits(date.Day) + QLatin1Char('.') + TwoDigits(date.Month) + QLatin1Char('.') +
                          TwoDigits(date.Year));
}
