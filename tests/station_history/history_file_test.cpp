#include "core/history_export.h"
#include "core/history_file.h"
#include "tests/support/history_images.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cctype>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using testsupport::PutRecord;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

THistoryImage Filled(std::uint8_t value)
{
    THistoryImage image;
    image.fill(value);
    return image;
}

class HistoryFile : public testing::Test
{
protected:
    QTemporaryDir Folder;
    QString Path(const QString& name = HistoryFileName) const { return Folder.filePath(name); }
};

TEST_F(HistoryFile, SavedFileHasTheFormatAndLoadsBackByteExact)
{
    THistoryState saved;
    for (std::size_t i = 0; i < HistoryImageSize; ++i)
        saved.HistoryImage[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    PutRecord(saved.HistoryImage, 0, {0x17, 0x85, 0x8C, 0x2D, 0x0E, 0x05, 0x0C, 0x10});
    saved.DiagramQuantity = 3;
    SaveHistoryFile(saved, Path());

    const QByteArray bytes = ReadFileBytes(Path());
    ASSERT_EQ(bytes.size(), 73730);
    EXPECT_TRUE(bytes.startsWith("17858C2D0E050C10\r\n"));
    EXPECT_TRUE(bytes.endsWith("\r\n03"));
    EXPECT_EQ(bytes.toUpper(), bytes);

    THistoryState loaded;
    const THistoryLoadResult result = LoadHistoryFile(loaded, Path());
    EXPECT_EQ(result.Outcome, THistoryLoadOutcome::Loaded);
    EXPECT_TRUE(result.ImageComplete());
    EXPECT_EQ(loaded.HistoryImage, saved.HistoryImage);
    EXPECT_EQ(loaded.DiagramQuantity, 3);

    // Saving again replaces the file; no temporary file stays behind.
    saved.DiagramQuantity = 1;
    SaveHistoryFile(saved, Path());
    EXPECT_TRUE(ReadFileBytes(Path()).endsWith("\r\n01"));
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{HistoryFileName});
}

TEST_F(HistoryFile, MissingFileGivesAnEmptyHistoryWhichSavesAsAllFF)
{
    THistoryState state;
    const THistoryLoadResult result = LoadHistoryFile(state, Path());
    EXPECT_EQ(result.Outcome, THistoryLoadOutcome::Missing);
    EXPECT_TRUE(result.ImageComplete());
    EXPECT_TRUE(result.Message.isEmpty());
    EXPECT_EQ(state.HistoryImage, Filled(255));
    EXPECT_EQ(state.DiagramQuantity, 0);
    EXPECT_EQ(ScanHistory(state, QDate(2017, 3, 4)), QStringLiteral("0 (4096)"));
    EXPECT_EQ(state.SelectedDate, (TSelectedDate{4, 3, 17}));

    SaveHistoryFile(state, Path());
    QByteArray expected;
    for (int r = 0; r < 4096; ++r)
        expected += "FFFFFFFFFFFFFFFF\r\n";
    expected += "00";
    EXPECT_EQ(ReadFileBytes(Path()), expected);
}

TEST_F(HistoryFile, EmptyFileIsNoRecordsAndACutOneNamesWhatWasRead)
{
    // Empty: no record, nothing to lose, so it may be written over.
    ASSERT_TRUE(WriteFileBytes(Path(), {}));
    THistoryState state;
    THistoryLoadResult result = LoadHistoryFile(state, Path());
    EXPECT_EQ(result.Outcome, THistoryLoadOutcome::Empty);
    EXPECT_TRUE(result.ImageComplete());
    EXPECT_TRUE(result.Message.isEmpty());
    EXPECT_EQ(state.HistoryImage, Filled(255));
    EXPECT_EQ(ScanHistory(state, QDate(2017, 3, 4)), QStringLiteral("0 (4096)"));
    EXPECT_EQ(state.SelectedDate, (TSelectedDate{4, 3, 17}));

    // Cut inside the third record: two records and two pairs read, the rest empty, never zero.
    ASSERT_TRUE(WriteFileBytes(Path(), "0011223344050C10\r\n0011223344060C10\r\n08090"));
    result = LoadHistoryFile(state, Path());
    EXPECT_EQ(result.Outcome, THistoryLoadOutcome::Truncated);
    EXPECT_FALSE(result.ImageComplete());
    EXPECT_EQ(result.RecordsRead, 2);
    EXPECT_EQ(result.Message,
              QStringLiteral("Файл «%1» неполный: прочитано записей: 2 из 4096").arg(QDir::toNativeSeparators(Path())));
    THistoryImage expected = Filled(255);
    PutRecord(expected, 0, {0x00, 0x11, 0x22, 0x33, 0x44, 0x05, 0x0C, 0x10});
    PutRecord(expected, 1, {0x00, 0x11, 0x22, 0x33, 0x44, 0x06, 0x0C, 0x10});
    expected[16] = 0x08;
    expected[17] = 0x09;
    EXPECT_EQ(state.HistoryImage, expected);
    EXPECT_EQ(ScanHistory(state, QDate(2017, 3, 4)), QStringLiteral("2 (4096)"));
}

TEST(HistoryText, ShortTextsAndOddLinesShiftPairsAndLeaveTheRestAlone)
{
    THistoryImage image = Filled(0x77);
    std::uint8_t quantity = 2;
    // LF or CR LF end a line; a short line shifts what follows; a last single character is dropped.
    EXPECT_EQ(ConvertHistoryText("0102030405060708\nabC\r\nDEF0", image, quantity).Outcome,
              THistoryLoadOutcome::Truncated);
    const std::uint8_t expected[] = {1, 2, 3, 4, 5, 6, 7, 8, 0xAB, 0xCD, 0xEF, 0x77};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), image.begin()));
    EXPECT_EQ(quantity, 2);

    // 4096 lines without the quantity line keep the quantity; a quantity line sets it; lines past
    // it are not read, and make the text one the program never wrote.
    QByteArray lines;
    for (int r = 0; r < 4096; ++r)
        lines += "0011223344556677\r\n";
    image = Filled(0);
    ASSERT_EQ(ConvertHistoryText(lines, image, quantity).Outcome, THistoryLoadOutcome::Loaded);
    EXPECT_EQ(quantity, 2);
    EXPECT_EQ(image[8 * 4095 + 7], 0x77);
    ASSERT_EQ(ConvertHistoryText(lines + "03\r\n01", image, quantity).Outcome, THistoryLoadOutcome::Oversized);
    EXPECT_EQ(quantity, 3);
    // A lone CR is text, not a line end.
    EXPECT_EQ(ConvertHistoryText("01\r02", image, quantity).Outcome, THistoryLoadOutcome::BadPair);
}

// Whatever follows the quantity but one line end: a file this program never wrote, never to be
// written over, but every record of it read.
TEST_F(HistoryFile, MoreThanTheRecordsAndTheQuantityIsAnOversizedFile)
{
    const THistoryImage image = testsupport::SmallHistoryImage();
    const QByteArray file = HistoryFileBytes(image, 3);
    const QByteArray record = "17858C2D0E050C10";
    struct TCase
    {
        const char* Name;
        QByteArray Bytes;
        THistoryLoadOutcome Outcome;
        std::uint8_t Quantity = 3;
    };
    const TCase cases[] = {
        {"as written", file, THistoryLoadOutcome::Loaded},
        {"one CR LF after the quantity", file + "\r\n", THistoryLoadOutcome::Loaded},
        {"one LF after the quantity", file + "\n", THistoryLoadOutcome::Loaded},
        {"two line ends", file + "\r\n\r\n", THistoryLoadOutcome::Oversized},
        {"a character after the quantity", file + "0", THistoryLoadOutcome::Oversized},
        {"a record in the quantity's line", file.left(file.size() - 2) + record, THistoryLoadOutcome::Oversized, 0x17},
        {"a 4097th record line", file + "\r\n" + record, THistoryLoadOutcome::Oversized},
        {"200,000 bytes of lines",
         file.left(file.size() - 2) + (record + "\r\n").repeated((200000 - file.size()) / 18) + "03",
         THistoryLoadOutcome::Oversized, 0x17},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(WriteFileBytes(Path(), c.Bytes));
        THistoryState state;
        const THistoryLoadResult result = LoadHistoryFile(state, Path());
        EXPECT_EQ(result.Outcome, c.Outcome);
        EXPECT_EQ(result.RecordsRead, 4096);
        EXPECT_EQ(state.HistoryImage, image);
        EXPECT_EQ(state.DiagramQuantity, c.Quantity);
        const bool oversized = c.Outcome == THistoryLoadOutcome::Oversized;
        EXPECT_EQ(result.ImageComplete(), !oversized);
        EXPECT_EQ(result.Message,
                  oversized ? QStringLiteral("Файл «%1» длиннее, чем его записывает программа: прочитаны первые 4096 "
                                             "записей, остальное не прочитано")
                                  .arg(QDir::toNativeSeparators(Path()))
                            : QString());
        // Only the file as written holds the copy byte for byte.
        EXPECT_EQ(HistoryFileHolds(file, Path()), c.Bytes == file);
    }
    EXPECT_FALSE(HistoryFileHolds(file, Path(QStringLiteral("none"))));
}

TEST(HistoryText, BadPairStopsTheConversionAndNamesTheText)
{
    THistoryImage image = Filled(0x55);
    std::uint8_t quantity = 1;
    const THistoryLoadResult result =
        ConvertHistoryText("0011223344556677\r\n88G9AABBCCDDEEFF\r\n", image, quantity, QStringLiteral("met.mtb"));
    EXPECT_EQ(result.Outcome, THistoryLoadOutcome::BadPair);
    EXPECT_FALSE(result.ImageComplete());
    EXPECT_EQ(result.Message, QStringLiteral("Файл «met.mtb», строка 2: «$G9» не является шестнадцатеричным числом"));
    EXPECT_EQ(image[8], 0x88);
    EXPECT_EQ(image[9], 0x55);
    EXPECT_EQ(quantity, 1);

    // Control characters and Windows-1251 letters are shown readably.
    EXPECT_TRUE(ConvertHistoryText("0\t", image, quantity).Message.contains(QStringLiteral("«$0\\x09»")));
    EXPECT_TRUE(ConvertHistoryText("\xC0\x31", image, quantity).Message.contains(QStringLiteral("«$А1»")));
    EXPECT_EQ(ConvertHistoryText(" 1", image, quantity).Outcome, THistoryLoadOutcome::BadPair);
}

TEST(HistoryText, EveryCharacterAtEveryPlaceOfAWholeLineIsJudgedAsAHexDigit)
{
    for (int place = 0; place < 16; ++place)
        for (int c = 0; c < 256; ++c) {
            QByteArray line = "0123456789abcDEF\r\n";
            line[place] = static_cast<char>(c);
            THistoryImage image = Filled(0x5A);
            std::uint8_t quantity = 0;
            if (c == '\n')
                continue; // a line end: the line is then shorter, which is no error
            const bool hex = std::isxdigit(c) != 0;
            ASSERT_EQ(ConvertHistoryText(line, image, quantity).Outcome,
                      hex ? THistoryLoadOutcome::Truncated : THistoryLoadOutcome::BadPair)
                << place << " " << c;
            if (hex) {
                const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
                std::uint8_t expected[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
                expected[place / 2] = static_cast<std::uint8_t>(place % 2 ? (expected[place / 2] & 0xF0) | digit
                                                                          : (expected[place / 2] & 0x0F) | digit << 4);
                ASSERT_TRUE(std::equal(expected, expected + 8, image.begin())) << place << " " << c;
            } else {
                // the pairs before the bad one are converted, the rest kept
                for (int i = 0; i < 8; ++i)
                    ASSERT_EQ(image[static_cast<std::size_t>(i)] == 0x5A, i >= place / 2) << place << " " << c;
            }
        }
}

TEST_F(HistoryFile, UnreadableFileGivesAnEmptyImageThatMustNotBeSavedOverIt)
{
    ASSERT_TRUE(QDir(Folder.path()).mkdir(HistoryFileName));
    THistoryState state;
    const THistoryLoadResult result = LoadHistoryFile(state, Path());
    EXPECT_EQ(result.Outcome, THistoryLoadOutcome::Unreadable);
    EXPECT_FALSE(result.ImageComplete());
    EXPECT_EQ(state.HistoryImage, Filled(255));
    EXPECT_EQ(result.Message,
              QStringLiteral("Не удалось прочитать файл «%1»: на его месте папка, а не файл")
                  .arg(QDir::toNativeSeparators(Path())));
}

TEST(HistoryExport, LinesFollowThePieceTable)
{
    THistoryImage image = Filled(255);
    PutRecord(image, 3, {0x17, 0x85, 0x8C, 0x2D, 0x0E, 0x05, 0x0C, 0x10});
    PutRecord(image, 4, {0x15, 0x00, 0xFF, 0xFF, 0xFF, 0x05, 0x0C, 0x10});
    PutRecord(image, 9, {255, 255, 255, 50, 255, 255, 255, 255});
    const QByteArray unit = "\xB0"
                            "C  ";
    const QByteArray mm = " \xEC\xEC \xF0\xF2.\xF1\xF2.  ";
    EXPECT_EQ(HistoryExportBytes(image),
              "05.12.16 (14:00)   +23" + unit + " -5" + unit + "745" + mm + "45%\r\n" + "05.12.16 (--:--)   +21" +
                  unit + "  0" + unit + "---" + mm + "---%\r\n" + "--.--.-- (--:--)   ---" + unit + "---" + unit +
                  "---" + mm + "50%\r\n");

    const std::pair<std::uint8_t, const char*> outdoor[] = {{128, "  0"}, {137, " -9"},  {138, "-10"}, {9, " +9"},
                                                            {10, "+10"},  {127, "+127"}, {254, "-126"}};
    for (const auto& [value, text] : outdoor) {
        THistoryImage one = Filled(255);
        PutRecord(one, 0, {1, value, 0, 100, 0, 1, 1, 0});
        EXPECT_EQ(HistoryExportBytes(one),
                  QByteArray("01.01.00 (00:00)   +1") + unit + text + unit + "885" + mm + "100%\r\n")
            << int(value);
    }
}

TEST_F(HistoryFile, ExportOfAnEmptyHistoryIsAnEmptyFile)
{
    ASSERT_TRUE(WriteFileBytes(Path(HistoryExportFileName), "old text"));
    ExportHistoryText(Filled(255), Path(HistoryExportFileName));
    EXPECT_TRUE(ReadFileBytes(Path(HistoryExportFileName)).isEmpty());

    THistoryImage image = Filled(255);
    PutRecord(image, 0, {0x17, 0x85, 0x8C, 0x2D, 0x0E, 0x05, 0x0C, 0x10});
    ExportHistoryText(image, Path(HistoryExportFileName));
    EXPECT_EQ(ReadFileBytes(Path(HistoryExportFileName)), HistoryExportBytes(image));
}

class HistoryFileFailure : public HistoryFile
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteFileBytes(Path(), "old history"));
        ASSERT_EQ(::chmod(QFile::encodeName(Path()).constData(), 0640), 0);
    }
    void ExpectOldFileWholeAndAlone()
    {
        EXPECT_EQ(ReadFileBytes(Path()), "old history");
        EXPECT_EQ(QDir(Folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{HistoryFileName});
    }
    THistoryState State;
};

TEST_F(HistoryFileFailure, WriteFailingMidwayLeavesTheOldFileWhole)
{
    // A file size limit makes the write of the temporary file fail after some bytes.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::string message;
    try {
        SaveHistoryFile(State, Path());
    } catch (const os::EFileError& error) {
        message = error.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(QString::fromStdString(message),
              QStringLiteral("Не удалось записать файл «%1»: %2")
                  .arg(QDir::toNativeSeparators(Path()), QStringLiteral("превышен допустимый размер файла")));
    ExpectOldFileWholeAndAlone();
}

TEST_F(HistoryFileFailure, MissingFolderOrADirectoryInTheWayIsReported)
{
    try {
        SaveHistoryFile(State, Path(QStringLiteral("no-such-folder/met.mtb")));
        ADD_FAILURE() << "no error";
    } catch (const os::EFileError& error) {
        EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QStringLiteral("no-such-folder")));
        EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QStringLiteral("папка не найдена")));
    }
    ASSERT_TRUE(QDir(Folder.path()).mkpath(QStringLiteral("met.txt/inside")));
    EXPECT_THROW(ExportHistoryText(Filled(0), Path(HistoryExportFileName)), os::EFileError);
    EXPECT_TRUE(QDir(Path(HistoryExportFileName)).exists(QStringLiteral("inside")));
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{HistoryFileName, HistoryExportFileName}));
}

TEST_F(HistoryFile, SaveKeepsThePermissionsOfTheFileItReplaces)
{
    ASSERT_TRUE(WriteFileBytes(Path(), "old"));
    ASSERT_EQ(::chmod(QFile::encodeName(Path()).constData(), 0600), 0);
    SaveHistoryFile(THistoryState{}, Path());
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

} // namespace
