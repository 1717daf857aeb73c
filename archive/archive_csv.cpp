#include "archive/archive_csv.h"

#include <QDate>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace archive {
namespace {

void PutDigits(char*& out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out += width;
}

// Whole numbers as they are, means of the live samples with one decimal.
void PutValue(char*& out, double value, char decimalMark)
{
    if (!HasValue(value))
        return;
    const long tenths = std::lround(value * 10.0);
    if (tenths < 0)
        *out++ = '-';
    const unsigned long magnitude = static_cast<unsigned long>(tenths < 0 ? -tenths : tenths);
    out += std::snprintf(out, 24, "%lu", magnitude / 10);
    if (magnitude % 10 != 0) {
        *out++ = decimalMark;
        *out++ = static_cast<char>('0' + magnitude % 10);
    }
}

} // namespace

QByteArray ArchiveCsv(const std::vector<TArchiveHour>& hours, THourKey first, THourKey last, TCsvKind kind)
{
    const bool excel = kind == TCsvKind::Excel;
    // Without the mark Excel takes the bytes for the system's code page; with a comma for the
    // decimals the fields must be parted by something else.
    const char separator = excel ? ';' : ',';
    const char decimalMark = excel ? ',' : '.';
    QByteArray header = excel ? QByteArray("\xEF\xBB\xBF") : QByteArray();
    header += QStringLiteral("Дата и время").toUtf8();
    for (int q = 0; q < base::QuantityCount; ++q) {
        const auto quantity = static_cast<base::TQuantity>(q);
        header += separator +
            (base::QuantityTitle(quantity) + QStringLiteral(" (") + base::QuantityUnit(quantity) + QLatin1Char(')'))
                .toUtf8();
    }
    header += "\r\n";
    if (last < first)
        return header;

    // The longest row: 16 for the time, 4 × (comma and a value of up to 24 characters), CR LF.
    constexpr qsizetype LongestRow = 16 + 4 * 25 + 2;
    const qsizetype rows = last - first + 1;
    QByteArray text(header.size() + rows * LongestRow, Qt::Uninitialized);
    char* out = text.data();
    std::memcpy(out, header.constData(), static_cast<std::size_t>(header.size()));
    out += header.size();

    auto next = hours.begin();
    QDate date;
    char day[11] = {};
    for (THourKey hour = first; hour <= last; ++hour) {
        const int hourOfDay = HourOfDay(hour);
        if (!date.isValid() || hourOfDay == 0) {
            date = DateOfHour(hour);
            char* d = day;
            PutDigits(d, date.year(), 4);
            *d++ = '-';
            PutDigits(d, date.month(), 2);
            *d++ = '-';
            PutDigits(d, date.day(), 2);
        }
        std::memcpy(out, day, 10);
        out += 10;
        *out++ = ' ';
        PutDigits(out, hourOfDay, 2);
        *out++ = ':';
        *out++ = '0';
        *out++ = '0';
        while (next != hours.end() && next->Hour < hour)
            ++next;
        const bool has = next != hours.end() && next->Hour == hour;
        for (int q = 0; q < base::QuantityCount; ++q) {
            *out++ = separator;
            if (has)
                PutValue(out, next->Values[static_cast<std::size_t>(q)], decimalMark);
        }
        *out++ = '\r';
        *out++ = '\n';
    }
    text.truncate(out - text.constData());
    return text;
}

} // namespace archive
