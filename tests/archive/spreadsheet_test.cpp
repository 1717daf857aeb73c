// The CSV for Excel read back by a real spreadsheet program: LibreOffice Calc, headless, opens it
// as a Russian Excel does (semicolons, UTF-8, Russian number format) and writes it out as a flat
// OpenDocument sheet, whose cells must be the header's texts, the hours as dates and the values as
// numbers, empty where nothing is known.
#include "archive/archive_csv.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QXmlStreamReader>
#include <gtest/gtest.h>
#include <ostream>

using namespace archive;

namespace {

struct TCell
{
    QString Type; // "string", "float", "date" or empty
    QString Value;
    bool operator==(const TCell&) const = default;
    friend void PrintTo(const TCell& cell, std::ostream* out)
    {
        *out << cell.Type.toStdString() << ' ' << cell.Value.toStdString();
    }
};
using TSheet = std::vector<std::vector<TCell>>;

// The first table of a flat OpenDocument spreadsheet, repeated cells spelled out, trailing
// empty ones dropped.
TSheet ReadFlatSheet(const QByteArray& xml)
{
    TSheet sheet;
    QXmlStreamReader reader(xml);
    bool inTable = false;
    while (!reader.atEnd()) {
        reader.readNext();
        const QStringView name = reader.name();
        if (reader.isEndElement() && name == u"table")
            break;
        if (!reader.isStartElement())
            continue;
        if (name == u"table") {
            inTable = true;
        } else if (inTable && name == u"table-row") {
            sheet.emplace_back();
        } else if (inTable && name == u"table-cell" && !sheet.empty()) {
            const QXmlStreamAttributes attributes = reader.attributes();
            TCell cell{attributes.value(QLatin1String("office:value-type")).toString(), {}};
            if (cell.Type == u"float")
                cell.Value = attributes.value(QLatin1String("office:value")).toString();
            else if (cell.Type == u"date")
                cell.Value = attributes.value(QLatin1String("office:date-value")).toString();
            else if (cell.Type == u"string")
                cell.Value = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            const int repeated = std::max(1, attributes.value(QLatin1String("table:number-columns-repeated")).toInt());
            for (int i = 0; i < repeated; ++i)
                sheet.back().push_back(cell);
        }
    }
    for (auto& row : sheet)
        while (!row.empty() && row.back().Type.isEmpty())
            row.pop_back();
    return sheet;
}

TEST(ArchiveSpreadsheet, CalcReadsTheExcelKindIntoColumnsOfNumbers)
{
    const QString calc = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    ASSERT_FALSE(calc.isEmpty()) << "LibreOffice Calc (libreoffice-calc-nogui, scripts/install-deps test) is missing";
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());

    const THourKey first = HourKey(QDate(2025, 12, 31), 23);
    TArchiveHour a;
    a.Hour = first;
    a.Values = {21.5, -12.25, 745, 45};
    TArchiveHour b;
    b.Hour = first + 2; // 2026-01-01 01:00
    b.Values = {20, -0.5, MissingValue, 99.96};
    QFile csv(QStringLiteral("архив.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(ArchiveCsv({a, b}, first, first + 2, TCsvKind::Excel));
    csv.close();

    // Semicolon, double quote, UTF-8 (76), from line 1, standard columns, Russian (1049), numbers
    // and dates recognised as a Russian system's spreadsheet does.
    QProcess office;
    office.setProcessChannelMode(QProcess::MergedChannels);
    office.start(calc,
                 {QStringLiteral("-env:UserInstallation=") +
                      QUrl::fromLocalFile(QDir(folder.Path()).filePath(QStringLiteral("profile"))).toString(),
                  QStringLiteral("--headless"), QStringLiteral("--infilter=CSV:59,34,76,1,,1049,false,true"),
                  QStringLiteral("--convert-to"), QStringLiteral("fods"), QStringLiteral("--outdir"), folder.Path(),
                  csv.fileName()});
    ASSERT_TRUE(office.waitForFinished(300'000)) << "LibreOffice did not finish in 5 minutes";
    const QByteArray said = office.readAll();
    ASSERT_EQ(office.exitCode(), 0) << said.toStdString();
    QFile converted(QStringLiteral("архив.fods"));
    ASSERT_TRUE(converted.open(QIODevice::ReadOnly)) << said.toStdString();

    const auto text = [](const char* s) { return TCell{QStringLiteral("string"), QString::fromUtf8(s)}; };
    const auto number = [](const char* s) { return TCell{QStringLiteral("float"), QString::fromLatin1(s)}; };
    const auto date = [](const char* s) { return TCell{QStringLiteral("date"), QString::fromLatin1(s)}; };
    const TCell none;
    const TSheet expected = {
        {text("Дата и время"), text("Температура в доме (°C)"), text("Температура на улице (°C)"),
         text("Атмосферное давление (мм рт.ст.)"), text("Относительная влажность (%)")},
        {date("2025-12-31T23:00:00"), number("21.5"), number("-12.3"), number("745"), number("45")},
        {date("2026-01-01")}, // midnight: the date alone
        {date("2026-01-01T01:00:00"), number("20"), number("-0.5"), none, number("100")},
    };
    const TSheet sheet = ReadFlatSheet(converted.readAll());
    ASSERT_EQ(sheet.size(), expected.size());
    for (std::size_t row = 0; row < expected.size(); ++row) {
        ASSERT_EQ(sheet[row].size(), expected[row].size()) << "row " << row;
        for (std::size_t column = 0; column < expected[row].size(); ++column)
            EXPECT_EQ(sheet[row][column], expected[row][column]) << "row " << row << " column " << column;
    }
}

} // namespace
