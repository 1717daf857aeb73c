#include "station/history_export.h"

#include <QStringEncoder>
#include <cstring>

namespace {

// Encodes a fixed text of the export once.
QByteArray Cp1251(const QString& text)
{
    QStringEncoder encoder("windows-1251");
    if (!encoder.isValid())
        throw os::EFileError(QStringLiteral("Кодировка windows-1251 недоступна"));
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        throw os::EFileError(QStringLiteral("Текст «%1» не записывается в кодировке windows-1251").arg(text));
    return bytes;
}

} // namespace

QByteArray HistoryExportBytes(const THistoryImage& image)
{
    static const QByteArray Degrees = Cp1251(QStringLiteral("°C  "));
    static const QByteArray Millimetres = Cp1251(QStringLiteral(" мм рт.ст.  "));
    constexpr qsizetype LongestLine = 96; // the longest line is 74 bytes

    int lines = 0;
    for (int r = 0; r < HistoryRecordCount; ++r)
        lines += HistoryRecordAt(image, r).IsEmpty() ? 0 : 1;
    QByteArray text(lines * LongestLine, Qt::Uninitialized);
    char* out = text.data();

    auto put = [&out](const char* piece, std::size_t length) {
        std::memcpy(out, piece, length);
        out += length;
    };
    auto putText = [&put](const char* piece) { put(piece, std::strlen(piece)); };
    auto putBytes = [&put](const QByteArray& piece) { put(piece.constData(), static_cast<std::size_t>(piece.size())); };
    auto putNumber = [&out](int value) { // 0..999
        if (value >= 100)
            *out++ = static_cast<char>('0' + value / 100);
        if (value >= 10)
            *out++ = static_cast<char>('0' + value / 10 % 10);
        *out++ = static_cast<char>('0' + value % 10);
    };
    auto putTwoDigits = [&](std::uint8_t value) {
        if (value < 10)
            *out++ = '0';
        putNumber(value);
    };
    auto putDatePart = [&](std::uint8_t value) {
        if (value == HistoryMissing)
            put("--", 2);
        else
            putTwoDigits(value);
    };

    for (int r = 0; r < HistoryRecordCount; ++r) {
        const HistoryRecord rec = HistoryRecordAt(image, r);
        if (rec.IsEmpty())
            continue;
        putDatePart(rec.Day);
        *out++ = '.';
        putDatePart(rec.Month);
        *out++ = '.';
        putDatePart(rec.Year);
        if (rec.Hour == HistoryMissing) {
            putText(" (--:--)   ");
        } else {
            put(" (", 2);
            putTwoDigits(rec.Hour);
            putText(":00)   ");
        }
        if (rec.IndoorTemp == HistoryMissing) {
            put("---", 3);
        } else {
            *out++ = '+';
            putNumber(rec.IndoorTemp);
        }
        putBytes(Degrees);
        const std::optional<int> outdoor = rec.Value(base::TQuantity::OutdoorTemperature);
        if (!outdoor) {
            put("---", 3);
        } else if (*outdoor == 0) {
            put("  0", 3);
        } else if (*outdoor > 0) {
            putText(*outdoor < 10 ? " +" : "+");
            putNumber(*outdoor);
        } else {
            putText(-*outdoor < 10 ? " -" : "-");
            putNumber(-*outdoor);
        }
        putBytes(Degrees);
        if (const std::optional<int> pressure = rec.Value(base::TQuantity::Pressure))
            putNumber(*pressure);
        else
            put("---", 3);
        putBytes(Millimetres);
        if (rec.HumidityPercent == HistoryMissing)
            put("---", 3);
        else
            putNumber(rec.HumidityPercent);
        put("%\r\n", 3);
    }
    text.truncate(out - text.constData());
    return text;
}

void ExportHistoryText(const THistoryImage& image, const QString& path)
{
    os::ReplaceFileAtomically(path, HistoryExportBytes(image));
}
