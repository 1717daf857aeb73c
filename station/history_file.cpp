#include "station/history_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int LinesRead = HistoryRecordCount + 1; // the records and the quantity line
constexpr int PairsUsed = HistoryImageSize + 1;

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QString ShownName(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString SystemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
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

// Encodes a fixed text of the export once.
QByteArray Cp1251(const QString& text)
{
    QStringEncoder encoder("windows-1251");
    if (!encoder.isValid())
        throw EHistoryFileError(QStringLiteral("Кодировка windows-1251 недоступна"));
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        throw EHistoryFileError(QStringLiteral("Текст «%1» не записывается в кодировке windows-1251").arg(text));
    return bytes;
}

void AppendNumber(QByteArray& out, int value)
{
    char digits[12];
    int n = 0;
    if (value < 0) {
        out += '-';
        value = -value;
    }
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0)
        out += digits[--n];
}

void AppendTwoDigits(QByteArray& out, int value)
{
    if (value < 10)
        out += '0';
    AppendNumber(out, value);
}

class TDescriptor
{
public:
    explicit TDescriptor(int fd) : Fd(fd) {}
    ~TDescriptor()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return Fd; }
    int Release()
    {
        const int fd = Fd;
        Fd = -1;
        return fd;
    }

private:
    int Fd;
};

} // namespace

EHistoryFileError::EHistoryFileError(const QString& message)
    : std::runtime_error(message.toUtf8().toStdString())
{
}

THistoryLoadResult ConvertHistoryText(const QByteArray& text, THistoryImage& image, std::uint8_t& quantity,
                                      const QString& fileName)
{
    // Join the first 4097 lines; remember where each starts in the joined text for the message.
    QByteArray joined;
    joined.reserve(std::min<qsizetype>(text.size(), HistoryFileSize));
    std::vector<qsizetype> lineStarts;
    lineStarts.reserve(LinesRead);
    const char* data = text.constData();
    const qsizetype size = text.size();
    qsizetype pos = 0;
    for (int line = 0; line < LinesRead && pos < size; ++line) {
        const void* found = std::memchr(data + pos, '\n', static_cast<std::size_t>(size - pos));
        const qsizetype end = found ? static_cast<const char*>(found) - data : size;
        qsizetype contentEnd = end;
        if (found && contentEnd > pos && data[contentEnd - 1] == '\r')
            --contentEnd;
        lineStarts.push_back(joined.size());
        joined.append(data + pos, contentEnd - pos);
        pos = found ? end + 1 : size;
    }

    const qsizetype pairs = std::min<qsizetype>(joined.size() / 2, PairsUsed);
    const char* t = joined.constData();
    for (qsizetype k = 0; k < pairs; ++k) {
        const int high = HexValue(t[2 * k]);
        const int low = HexValue(t[2 * k + 1]);
        if (high < 0 || low < 0) {
            const auto line = std::upper_bound(lineStarts.begin(), lineStarts.end(), 2 * k) - lineStarts.begin();
            return {THistoryLoadOutcome::BadPair,
                    QStringLiteral("Файл «%1», строка %2: «$%3» не является шестнадцатеричным числом")
                        .arg(fileName)
                        .arg(line)
                        .arg(PairText(t + 2 * k))};
        }
        const auto value = static_cast<std::uint8_t>(high << 4 | low);
        if (k < HistoryImageSize)
            image[static_cast<std::size_t>(k)] = value;
        else
            quantity = value;
    }
    return {};
}

THistoryLoadResult LoadHistoryFile(THistoryState& state, const QString& path)
{
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        state.HistoryImage.fill(HistoryMissing);
        return {THistoryLoadOutcome::Missing, {}};
    }
    QByteArray text;
    bool read = file.open(QIODevice::ReadOnly);
    if (read) {
        text = file.readAll();
        read = file.error() == QFileDevice::NoError;
    }
    if (!read) {
        state.HistoryImage.fill(HistoryMissing);
        return {THistoryLoadOutcome::Unreadable,
                QStringLiteral("Не удалось прочитать файл «%1»: %2").arg(ShownName(path), file.errorString())};
    }
    return ConvertHistoryText(text, state.HistoryImage, state.DiagramQuantity, ShownName(path));
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

void SaveHistoryFile(const THistoryState& state, const QString& path)
{
    ReplaceFileAtomically(path, HistoryFileBytes(state.HistoryImage, state.DiagramQuantity));
}

QByteArray HistoryExportBytes(const THistoryImage& image)
{
    static const QByteArray Degrees = Cp1251(QStringLiteral("°C  "));
    static const QByteArray Millimetres = Cp1251(QStringLiteral(" мм рт.ст.  "));

    QByteArray out;
    int lines = 0;
    for (int r = 0; r < HistoryRecordCount; ++r)
        lines += HistoryRecordAt(image, r).IsEmpty() ? 0 : 1;
    out.reserve(lines * 56);

    for (int r = 0; r < HistoryRecordCount; ++r) {
        const HistoryRecord rec = HistoryRecordAt(image, r);
        if (rec.IsEmpty())
            continue;
        auto datePart = [&out](std::uint8_t v, const char* missing) {
            if (v == HistoryMissing)
                out += missing;
            else
                AppendTwoDigits(out, v);
        };
        datePart(rec.Day, "--");
        out += '.';
        datePart(rec.Month, "--");
        out += '.';
        datePart(rec.Year, "--");
        if (rec.Hour == HistoryMissing) {
            out += " (--:--)   ";
        } else {
            out += " (";
            AppendTwoDigits(out, rec.Hour);
            out += ":00)   ";
        }
        if (rec.IndoorTemp == HistoryMissing) {
            out += "---";
        } else {
            out += '+';
            AppendNumber(out, rec.IndoorTemp);
        }
        out += Degrees;
        const std::uint8_t v = rec.OutdoorTemp;
        if (v == HistoryMissing)
            out += "---";
        else if (v == 0 || v == 128)
            out += "  0";
        else if (v <= 127) {
            out += v < 10 ? " +" : "+";
            AppendNumber(out, v);
        } else {
            out += v - 128 < 10 ? " -" : "-";
            AppendNumber(out, v - 128);
        }
        out += Degrees;
        if (rec.PressureCode == HistoryMissing)
            out += "---";
        else
            AppendNumber(out, 885 - rec.PressureCode);
        out += Millimetres;
        if (rec.HumidityPercent == HistoryMissing)
            out += "---";
        else
            AppendNumber(out, rec.HumidityPercent);
        out += "%\r\n";
    }
    return out;
}

void ExportHistoryText(const THistoryImage& image, const QString& path)
{
    ReplaceFileAtomically(path, HistoryExportBytes(image));
}

void ReplaceFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    const QString shown = ShownName(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    auto fail = [&shown](const QString& what, int error) {
        throw EHistoryFileError(QStringLiteral("Не удалось записать файл «%1»: %2%3")
                                    .arg(shown, what, SystemReason(error)));
    };

    // A hidden name beside the target, so the rename stays within one file system.
    static unsigned counter = 0;
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                      QStringLiteral(".%1-%2.tmp").arg(::getpid()).arg(++counter));
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            fail(QStringLiteral("временный файл не создаётся: "), errno);
    }
    if (fd < 0)
        fail(QStringLiteral("временный файл не создаётся: "), EEXIST);

    TDescriptor descriptor(fd);
    auto failAndRemove = [&](const QString& what, int error) {
        ::close(descriptor.Release());
        ::unlink(temporary.constData());
        fail(what, error);
    };

    struct stat old;
    if (::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);

    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            failAndRemove({}, errno);
        }
        data += written;
        left -= written;
    }
    if (::fsync(fd) != 0)
        failAndRemove({}, errno);
    if (::close(descriptor.Release()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        fail({}, error);
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        fail(QStringLiteral("не удаётся заменить его: "), error);
    }
}
