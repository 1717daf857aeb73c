// The climate summaries of the records page: a month (a row per day) or a year (a row per month),
// each row with the highest, lowest and mean value of every quantity, the heating degree-days
// (below 18 °C, from the day's mean outdoor temperature) and the frost days (outdoor minimum below
// 0 °C); and the same as JSON, as CSV to download and as a plain text table.
#pragma once

#include "archive/archive_reader.h"
#include "web/web_http.h"

#include <QDate>
#include <QString>
#include <QUrlQuery>
#include <array>
#include <vector>

namespace web {

inline constexpr double HeatingBaseTemperature = 18.0;

struct TClimateValue
{
    double Max = archive::MissingValue;
    double Min = archive::MissingValue;
    double Mean = archive::MissingValue;
};

struct TClimateRow
{
    QDate First; // the day, or the month's first day
    std::array<TClimateValue, base::QuantityCount> Values;
    double DegreeDays = 0;
    int FrostDays = 0;
};

struct TClimateSummary
{
    bool Year = false; // rows of months rather than days
    QDate First;
    std::vector<TClimateRow> Rows;
    TClimateRow Total;
};

// From the archive's hours of the month or year (any range; hours outside are left out).
TClimateSummary MonthSummary(const std::vector<archive::TArchiveHour>& hours, int year, int month);
TClimateSummary YearSummary(const std::vector<archive::TArchiveHour>& hours, int year);

// /api/v1/summary/month?year=&month=&format=json|csv|text and /api/v1/summary/year?year=&format=...
TWebResponse MonthSummaryAnswer(archive::TArchiveReader& reader, const QUrlQuery& query);
TWebResponse YearSummaryAnswer(archive::TArchiveReader& reader, const QUrlQuery& query);

} // namespace web
