#include "core/history_file.h"

#include <QFile>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

constexpr int LinesRead = HistoryRecordCount + 1; // the records and the quantity line
constexpr int PairsUsed = HistoryImageSize + 1;

// Hex digit values by character; 0xFF for anything that is not a hex digit.
constexpr std::array<std::uint8_t, 256> HexTable = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(0xFF);
    for (std::size_t c = 0; c < 10; ++c)
        table['0' + c] = static_cast<std::uint8_t>(c);
    for (std::size_t c = 0; c < 6; ++c) {
        table['A' + c] = static_cast<std::uint8_t>(10 + c);
        table['a' + c] = static_cast<std::uint8_t>(10 + c);
    }
    return table;
}();

std::uint8_t Hex(char c)
{
    return HexTable[static_cast<unsigned char>(c)];
}

// Decodes 16 hex digits (either case) into 8 bytes. Returns false, writing nothing, when any
// character is not a hex digit. Loading the history file is mostly this: a whole line at a time.
bool DecodeRecordLine(const char* digits, std::uint8_t* bytes)
{
    std::uint8_t invalid = 0;
    std::uint8_t out[HistoryRecordSize];
    for (std::ptrdiff_t i = 0; i < HistoryRecordSize; ++i) {
        const std::uint8_t high = Hex(digits[2 * i]);
        const std::uint8_t low = Hex(digits[2 * i + 1]);
        invalid |= high | low;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    if (invalid & 0xF0)
        return false;
    std::memcpy(bytes, out, HistoryRecordSize);
    return true;
}

// The conversion never needs more: 32769 pairs and the ends of 4097 lines. One byte more is read,
// so that a longer file shows as one.
constexpr qsizetype LongestUsefulText = 2 * PairsUsed + 2 * LinesRead;

// Whether the text from `p` on is more than one line end (CR LF or LF).
bool MoreThanALineEnd(const char* p, const char* end)
{
    if (p < end && *p == '\r' && p + 1 < end && p[1] == '\n')
        p += 2;
    else if (p < end && *p == '\n')
        ++p;
    return p < end;
}

// The bad pair as the user can read it: Windows-1251 text, control characters as \xNN.
QString PairText(const char* pair)
{
    QString text;
    QStringDecoder decoder("windows-1251");
    for (int i = 0; i < 2; ++i) {
        const auto byte = static_cast<unsigned char>(pair[i]);
        if (byte < 0x20 || byte == 0x7F)
            text += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            text += decoder.isValid() ? decoder.decode(QByteArrayView(pair + i, 1)) : QString(QLatin1Char(pair[i]));
    }
    return text;
}

// Whole record lines of exactly 16 digits and CR LF from `p` on, while they last and the image and
// the lines read have room: decoded into the image at pair `k`; how many were taken.
int TakeWholeRecordLines(const char*& p, const char* end, THistoryImage& image, qsizetype& k, int line)
{
    const qsizetype wholeLines =
        std::min({static_cast<qsizetype>(end - p) / 18, static_cast<qsizetype>(HistoryImageSize - k) / 8,
                  static_cast<qsizetype>(LinesRead - line + 1)});
    qsizetype taken = 0;
    while (taken < wholeLines && p[16] == '\r' && p[17] == '\n' && DecodeRecordLine(p, image.data() + k)) {
        k += 8;
        p += 18;
        ++taken;
    }
    return static_cast<int>(taken);
}

int RecordsRead(qsizetype pairs)
{
    return static_cast<int>(std::min<qsizetype>(pairs, HistoryImageSize) / HistoryRecordSize);
}

THistoryLoadResult BadPair(const char* pair, int line, qsizetype pairs, const QString& fileName)
{
    return {THistoryLoadOutcome::BadPair,
            QStringLiteral("Файл «%1», строка %2: «$%3» не является шестнадцатеричным числом")
                .arg(fileName)
                .arg(line)
                .arg(PairText(pair)),
            RecordsRead(pairs)};
}

// What the text held once `pairs` pairs were converted and the conversion stopped at `p`.
THistoryLoadResult TextEnded(qsizetype pairs, const char* p, const char* end, const QString& fileName)
{
    const int recordsRead = RecordsRead(pairs);
    // Records or anything else after the quantity: the program never wrote such a file, and
    // writing the copy over it would cut what it holds beyond.
    if (pairs == PairsUsed && MoreThanALineEnd(p, end))
        return {THistoryLoadOutcome::Oversized,
                QStringLiteral("Файл «%1» длиннее, чем его записывает программа: прочитаны первые %2 записей, "
                               "остальное не прочитано")
                    .arg(fileName)
                    .arg(HistoryRecordCount),
                recordsRead};
    if (pairs == 0)
        return {THistoryLoadOutcome::Empty, {}, 0};
    if (pairs < HistoryImageSize)
        return {THistoryLoadOutcome::Truncated,
                QStringLiteral("Файл «%1» неполный: прочитано записей: %2 из %3")
                    .arg(fileName)
                    .arg(recordsRead)
                    .arg(HistoryRecordCount),
                recordsRead};
    return {THistoryLoadOutcome::Loaded, {}, recordsRead};
}

} // namespace

THistoryLoadResult ConvertHistoryText(const QByteArray& text, THistoryImage& image, std::uint8_t& quantity,
                                      const QString& fileName)
{
    // One pass over the text: line ends are skipped (so lines are joined), characters pair up
    // across them. A record line of exactly 16 digits and CR LF is taken whole.
    const char* p = text.constData();
    const char* const end = p + text.size();
    int line = 1;
    qsizetype k = 0; // the next pair
    const char* pending = nullptr;
    int pendingLine = 0;
    while (p < end && line <= LinesRead && k < PairsUsed) {
        // Whole record lines while they last; the character-wise path below converts the good
        // pairs of a line that is not one and stops at a bad pair.
        if (pending == nullptr) {
            if (const int taken = TakeWholeRecordLines(p, end, image, k, line); taken > 0) {
                line += taken;
                continue;
            }
        }
        const char c = *p;
        if (c == '\n') {
            ++line;
        } else if (c == '\r' && p + 1 < end && p[1] == '\n') {
            // the CR of a CR LF
        } else if (pending == nullptr) {
            pending = p;
            pendingLine = line;
        } else {
            const std::uint8_t high = Hex(*pending);
            const std::uint8_t low = Hex(c);
            if ((high | low) & 0xF0) {
                const char pair[2] = {*pending, c};
                return BadPair(pair, pendingLine, k, fileName);
            }
            const auto value = static_cast<std::uint8_t>(high << 4 | low);
            if (k < HistoryImageSize)
                image[static_cast<std::size_t>(k)] = value;
            else
                quantity = value;
            ++k;
            pending = nullptr;
        }
        ++p;
    }
    return TextEnded(k, p, end, fileName);
}

THistoryLoadResult LoadHistoryFile(THistoryState& state, const QString& path)
{
    // Whatever the file does not reach is an empty record, never one dated 00.00.00.
    state.HistoryImage.fill(HistoryMissing);
    const os::TFileStart start = os::ReadFileStart(path, LongestUsefulText + 1);
    if (start.Outcome == os::TFileReadOutcome::Missing)
        return {THistoryLoadOutcome::Missing, {}, 0};
    if (start.Outcome == os::TFileReadOutcome::Failed)
        return THistoryLoadResult{
            THistoryLoadOutcome::Unreadable,
            QStringLiteral("Не удалось прочитать файл «%1»: %2").arg(os::ShownFileName(path), start.Reason), 0};
    return ConvertHistoryText(start.Bytes, state.HistoryImage, state.DiagramQuantity, os::ShownFileName(path));
}

QByteArray HistoryFileBytes(const THistoryImage& image, std::uint8_t quantity)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    QByteArray bytes(HistoryFileSize, Qt::Uninitialized);
    char* out = bytes.data();
    const std::uint8_t* in = image.data();
    for (int r = 0; r < HistoryRecordCount; ++r) {
        for (int i = 0; i < HistoryRecordSize; ++i) {
            const std::uint8_t b = *in++;
            *out++ = Hex[b >> 4];
            *out++ = Hex[b & 15];
        }
        *out++ = '\r';
        *out++ = '\n';
    }
    *out++ = Hex[quantity >> 4];
    *out++ = Hex[quantity & 15];
    return bytes;
}

bool HistoryFileHolds(const QByteArray& bytes, const QString& path)
{
    const os::TFileStart start = os::ReadFileStart(path, bytes.size() + 1);
    return start.Outcome == os::TFileReadOutcome::Read && start.Bytes == bytes;
}

void SaveHistoryFile(const THistoryState& state, const QString& path)
{
    os::ReplaceFileAtomically(path, HistoryFileBytes(state.HistoryImage, state.DiagramQuantity));
}
