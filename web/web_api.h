// The JSON of the web page's API, built from the last reading and from the archive's read-only
// connection: the current reading, the hours and 5-minute samples of a period, a chart's data by
// the archive page's rules, and the records. Times are ISO 8601 with this computer's offset.
#pragma once

#include "archive/archive_reader.h"
#include "base/station_reading.h"
#include "web/web_http.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUrlQuery>

namespace web {

// What the page says now: the last reading, the station's state and the outlook's two lines.
struct TWebCurrent
{
    base::TStationReading Reading;
    QString State;
    QString Trend;
    QString Forecast;
};

// «2025-10-26T02:00:00+02:00»: the moment on this computer's clock with its offset then.
QString IsoTime(const QDateTime& moment);
// A value rounded to a tenth, null where missing.
QJsonValue JsonNumber(double value);
// "indoor", "outdoor", "pressure", "humidity"; and the API's units "°C", "mmHg", "%".
QString QuantityKey(base::TQuantity quantity);
QString ApiUnit(base::TQuantity quantity);
// A date of the query written YYYY-MM-DD; invalid when absent or written otherwise.
QDate QueryDate(const QUrlQuery& query, const QString& name);

QJsonObject CurrentJson(const TWebCurrent& current);

// /api/v1/hours and /api/v1/samples: from=YYYY-MM-DD&to=YYYY-MM-DD.
TWebResponse HoursAnswer(archive::TArchiveReader& reader, const QUrlQuery& query);
TWebResponse SamplesAnswer(archive::TArchiveReader& reader, const QUrlQuery& query);
// /api/v1/chart: period=day|week|month|year&date=YYYY-MM-DD&quantity=indoor|outdoor|pressure|humidity.
TWebResponse ChartAnswer(archive::TArchiveReader& reader, const QUrlQuery& query);
// /api/v1/records: per quantity the highest and lowest hour of all time and of each calendar month.
TWebResponse RecordsAnswer(archive::TArchiveReader& reader);

} // namespace web
