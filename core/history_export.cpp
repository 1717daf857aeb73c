#include "core/history_export.h"

#include <QStringEncoder>
#include <cstring>
#include <optional>

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

// Writes the export's lines into a buffer made long enough beforehand: the export of a whole
// memory is written in one pass, without a QString per line.
class TExportWriter
{
public:
    TExportWriter(char* out, const QByteArray& degrees, const QByteArray& millimetres)
        : Out(out)
        , Degrees(degrees)
        , Millimetres(millimetres)
    {
    }

    char* End() const { return Out; }

    // «05.12.16 (14:00)   +23°C   -5°C  745 мм рт.ст.  45%» and CR LF.
    void PutRecordLine(const HistoryRecord& rec)
    {
        PutDatePart(rec.Day);
        *Out++ = '.';
        PutDatePart(rec.Month);
        *Out++ = '.';
        PutDatePart(rec.Year);
        if (rec.Hour == HistoryMissing) {
            PutText(" (--:--)   ");
        } else {
            Put(" (", 2);
            PutTwoDigits(rec.Hour);
            PutText(":00)   ");
        }
        if (const std::optional<int> indoor = rec.Value(base::TQuantity::IndoorTemperature)) {
            *Out++ = '+';
            PutNumber(*indoor);
        } else {
            Put("---", 3);
        }
        PutBytes(Degrees);
        PutOutdoorTemperature(rec.Value(base::TQuantity::OutdoorTemperature));
        PutBytes(Degrees);
        PutValue(rec.Value(base::TQuantity::Pressure));
        PutBytes(Millimetres);
        PutValue(rec.Value(base::TQuantity::Humidity));
        Put("%\r\n", 3);
    }

private:
    void Put(const char* piece, std::size_t length)
    {
        std::memcpy(Out, piece, length);
        Out += length;
    }
    void PutText(const char* piece) { Put(piece, std::strlen(piece)); }
    void PutBytes(const QByteArray& piece) { Put(piece.constData(), static_cast<std::size_t>(piece.size())); }
    void PutNumber(int value) // 0..999
    {
        if (value >= 100)
            *Out++ = static_cast<char>('0' + value / 100);
        if (value >= 10)
            *Out++ = static_cast<char>('0' + value / 10 % 10);
        *Out++ = static_cast<char>('0' + value % 10);
    }
    void PutTwoDigits(std::uint8_t value)
    {
        if (value < 10)
            *Out++ = '0';
        PutNumber(value);
    }
    void PutDatePart(std::uint8_t value)
    {
        if (value == HistoryMissing)
            Put("--", 2);
        else
            PutTwoDigits(value);
    }
    void PutValue(const std::optional<int>& value)
    {
        if (value)
            PutNumber(*value);
        else
            Put("---", 3);
    }
    // Three places wide with its sign: "  0", " +5", "-12", "---".
    void PutOutdoorTemperature(const std::optional<int>& celsius)
    {
        if (!celsius) {
            Put("---", 3);
        } else if (*celsius == 0) {
            Put("  0", 3);
        } else if (*celsius > 0) {
            PutText(*celsius < 10 ? " +" : "+");
            PutNumber(*celsius);
        } else {
            PutText(-*celsius < 10 ? " -" : "-");
            PutNumber(-*celsius);
        }
    }

    char* Out;
    const QByteArray& Degrees;
    const QByteArray& Millimetres;
};

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
    TExportWriter out(text.data(), Degrees, Millimetres);
    for (int r = 0; r < HistoryRecordCount; ++r) {
        const HistoryRecord rec = HistoryRecordAt(image, r);
        if (!rec.IsEmpty())
            out.PutRecordLine(rec);
    }
    text.truncate(out.End() - text.constData());
    return text;
}

void ExportHistoryText(const THistoryImage& image, const QString& path)
{
    os::ReplaceFileAtomically(path, HistoryExportBytes(image));
}
