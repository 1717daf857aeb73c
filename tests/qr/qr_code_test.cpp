// The QR code of the web page's address: what a real decoder reads off the picture, and the facts
// of the code that a lenient decoder would not hold against it.
#include "qr/qr_encoder.h"
#include "station/qr_code.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <string>

namespace {

// The most bytes each version holds at level M in byte mode, versions 1 to 40 (ISO/IEC 18004).
constexpr std::array<int, 40> Capacity = {
    14,  26,  42,  62,  84,  106,  122,  152,  180,  213,  251,  287,  331,  362,  412,  450,  504,  560,  624,  666,
    711, 779, 857, 911, 997, 1059, 1125, 1190, 1264, 1370, 1452, 1538, 1628, 1722, 1809, 1911, 1989, 2099, 2213, 2331};

// An address-like text of `length` bytes, varied so that the codes differ in their masks.
std::string TextOf(int length)
{
    static const std::string Alphabet = "http://192.168.100.200:65535/?code=ABCDEFGHJKLMNPQRSTUVWXYZ-_.~";
    std::string text;
    for (int i = 0; i < length; ++i)
        text += Alphabet[static_cast<std::size_t>((i * 7 + length) % static_cast<int>(Alphabet.size()))];
    return text;
}

int Side(int version)
{
    return 17 + 4 * version;
}

TEST(QrCode, ZbarReadsBackEveryText)
{
    const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
    if (zbarimg.isEmpty())
        GTEST_SKIP() << "zbarimg is missing (Debian's zbar-tools): the codes are not read back";
    std::vector<std::string> texts = {
        "1",
        "http://192.168.100.200:65535/?code=ABCDEFGHJK",
        "http://[2001:0db8:85a3:0000:0000:8a2e:0370:7334]:65535/?code=ABCDEFGHJK",
        "http://метеостанция.рф:8080/?code=K7PQ2MZXRA — давление 745 мм рт. ст.",
    };
    for (const int capacity : Capacity) // each version full, so each one's blocks and patterns are read
        texts.push_back(TextOf(capacity));
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("text " + std::to_string(i) + " of " + std::to_string(texts[i].size()) + " bytes");
        const QImage image = QrCodeImage(QString::fromStdString(texts[i]), 3);
        ASSERT_FALSE(image.isNull());
        const QString file = folder.filePath(QStringLiteral("code%1.png").arg(i));
        ASSERT_TRUE(image.save(file));
        QProcess zbar;
        zbar.start(zbarimg, {QStringLiteral("--raw"), QStringLiteral("-q"), file});
        ASSERT_TRUE(zbar.waitForFinished(60000)) << "zbarimg did not end";
        QByteArray decoded = zbar.readAllStandardOutput();
        if (decoded.endsWith('\n'))
            decoded.chop(1);
        EXPECT_EQ(decoded.toStdString(), texts[i]) << zbar.readAllStandardError().toStdString();
    }
}

TEST(QrCode, SmallestVersionThatHoldsTheTextAndNoneBeyondTheLast)
{
    for (int version = 1; version <= 40; ++version) {
        SCOPED_TRACE("version " + std::to_string(version));
        const int capacity = Capacity[static_cast<std::size_t>(version - 1)];
        EXPECT_EQ(qr::EncodeQr(TextOf(capacity)).size(), static_cast<std::size_t>(Side(version)));
        if (version < 40) {
            EXPECT_EQ(qr::EncodeQr(TextOf(capacity + 1)).size(), static_cast<std::size_t>(Side(version + 1)));
        }
    }
    EXPECT_TRUE(qr::EncodeQr(TextOf(qr::MaxQrBytes + 1)).empty());
    EXPECT_TRUE(QrCodeImage(QString::fromStdString(TextOf(5000)), 4).isNull());
    // Four light modules of quiet zone on each side, drawn at the size asked.
    const QImage image = QrCodeImage(QStringLiteral("http://192.168.1.20:8080/?code=K7PQ2MZXRA"), 5);
    EXPECT_EQ(image.size(), QSize((Side(3) + 8) * 5, (Side(3) + 8) * 5));
    EXPECT_EQ(image.pixel(4 * 5 - 1, 4 * 5 - 1), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(4 * 5, 4 * 5), qRgb(0, 0, 0)); // the finder's corner
}

// The format information at level M for masks 0 to 7, most significant bit first, and the version
// information of versions 7 and 40: the values the standard lists.
constexpr std::array<const char*, 8> LevelMFormats = {"101010000010010", "101000100100101", "101111001111100",
                                                      "101101101001011", "100010111111001", "100000011001110",
                                                      "100111110010111", "100101010100000"};

TEST(QrCode, FormatAndVersionInformationTimingAndDarkModule)
{
    struct TCase
    {
        int Length;
        int Version;
        unsigned VersionBits; // 0 below version 7
    };
    const std::array<TCase, 5> cases = {{{1, 1, 0}, {46, 4, 0}, {74, 5, 0}, {110, 7, 0x07C94}, {2300, 40, 0x28C69}}};
    for (const TCase& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.Version));
        const qr::TQrMatrix code = qr::EncodeQr(TextOf(c.Length));
        const int n = Side(c.Version);
        ASSERT_EQ(code.size(), static_cast<std::size_t>(n));
        const auto dark = [&code](int row, int column) {
            return code[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
        };
        std::string first;
        std::string second;
        for (const int column : {0, 1, 2, 3, 4, 5, 7, 8})
            first += dark(8, column) ? '1' : '0';
        for (const int row : {7, 5, 4, 3, 2, 1, 0})
            first += dark(row, 8) ? '1' : '0';
        for (int row = n - 1; row >= n - 7; --row)
            second += dark(row, 8) ? '1' : '0';
        for (int column = n - 8; column < n; ++column)
            second += dark(8, column) ? '1' : '0';
        EXPECT_EQ(first, second);
        EXPECT_NE(std::find(LevelMFormats.begin(), LevelMFormats.end(), first), LevelMFormats.end()) << first;
        EXPECT_TRUE(dark(n - 8, 8)) << "the dark module";
        for (int i = 8; i < n - 8; ++i)
            EXPECT_TRUE(dark(6, i) == (i % 2 == 0) && dark(i, 6) == (i % 2 == 0)) << "timing at " << i;
        unsigned bottomLeft = 0;
        unsigned topRight = 0;
        for (int i = 17; i >= 0 && c.Version >= 7; --i) {
            bottomLeft = (bottomLeft << 1) | (dark(n - 11 + i % 3, i / 3) ? 1U : 0U);
            topRight = (topRight << 1) | (dark(i / 3, n - 11 + i % 3) ? 1U : 0U);
        }
        EXPECT_EQ(bottomLeft, c.VersionBits);
        EXPECT_EQ(topRight, c.VersionBits);
    }
}

} // namespace
