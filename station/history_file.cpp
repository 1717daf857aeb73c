#include "station/history_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int LinesRead = HistoryRecordCount + 1; // the records and the quantity line
constexpr int PairsUsed = HistoryImageSize + 1;

// Hex digit values by character; 0xFF for anything that is not a hex digit.
constexpr std::array<std::uint8_t, 256> HexTable = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(0xFF);
    for (int c = 0; c < 10; ++c)
        table['0' + c] = static_cast<std::uint8_t>(c);
    for (int c = 0; c < 6; ++c) {
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
// character is not a hex digit. Loading the history file is mostly this, so it takes a whole line
// in a few vector instructions where they exist.
bool DecodeRecordLine(const char* digits, std::uint8_t* bytes)
{
#if defined(__SSE2__)
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(digits));
    // Signed compares: bytes from 0x80 up are negative and fall outside both ranges.
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8('0' - 1)), _mm_cmplt_epi8(x, _mm_set1_epi8('9' + 1)));
    const __m128i lower = _mm_or_si128(x, _mm_set1_epi8(0x20));
    const __m128i letter =
        _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(lower, _mm_set1_epi8('f' + 1)));
    if (_mm_movemask_epi8(_mm_or_si128(digit, letter)) != 0xFFFF)
        return false;
    // Digits have bit 6 clear, letters set: value = low nibble + 9 for letters.
    const __m128i isLetter = _mm_and_si128(_mm_srli_epi16(x, 6), _mm_set1_epi8(1));
    const __m128i nibbles = _mm_add_epi8(_mm_and_si128(x, _mm_set1_epi8(0x0F)),
                                         _mm_add_epi8(_mm_slli_epi16(isLetter, 3), isLetter));
    // The first character of each pair is the low byte of its 16-bit lane.
    const __m128i pairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4),
                                       _mm_srli_epi16(nibbles, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(pairs, pairs));
    return true;
#else
    std::uint8_t invalid = 0;
    std::uint8_t out[8];
    for (int i = 0; i < 8; ++i) {
        const std::uint8_t high = Hex(digits[2 * i]);
        const std::uint8_t low = Hex(digits[2 * i + 1]);
        invalid |= high | low;
        out[i] = static_cast<std::uint8_t>(high << 4 | low);
    }
    if (invalid & 0xF0)
        return false;
    std::memcpy(bytes, out, 8);
    return true;
#endif
}

// The conversion never needs more: 32769 pairs and the ends of 4097 lines.
constexpr qsizetype LongestUsefulText = 2 * PairsUsed + 2 * LinesRead;

QString ShownName(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
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

// The reasons a save meets in practice, in the user's language whatever the system's locale; the
// system's own text for the rest.
QString SystemReason(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("на диске нет свободного места");
    case EDQUOT:
        return QStringLiteral("исчерпана дисковая квота");
    case EROFS:
        return QStringLiteral("диск доступен только для чтения");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав на запись");
    case EFBIG:
        return QStringLiteral("превышен допустимый размер файла");
    case EIO:
        return QStringLiteral("ошибка ввода-вывода");
    case ENOENT:
        return QStringLiteral("папка не найдена");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Temporary files of a replacement are named ".<target>.<pid>-<n>.tmp" beside the target.
QByteArray TemporaryPrefix(const QFileInfo& info)
{
    return QFile::encodeName(QStringLiteral(".") + info.fileName() + QStringLiteral("."));
}

// Removes the temporaries that earlier replacements of the same target left behind when their
// program was killed or lost power before the rename. A live writer holds a lock on its
// temporary from creation to rename, so a temporary whose lock can be taken has no owner.
void RemoveStaleTemporaries(const QByteArray& folder, const QByteArray& prefix)
{
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr)
        return;
    const int dirFd = ::dirfd(dir);
    static constexpr char Suffix[] = ".tmp";
    constexpr std::size_t SuffixLength = sizeof Suffix - 1;
    while (const dirent* entry = ::readdir(dir)) {
        const std::size_t length = std::strlen(entry->d_name);
        if (length <= static_cast<std::size_t>(prefix.size()) + SuffixLength ||
            std::strncmp(entry->d_name, prefix.constData(), static_cast<std::size_t>(prefix.size())) != 0 ||
            std::strcmp(entry->d_name + length - SuffixLength, Suffix) != 0)
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        TDescriptor descriptor(fd);
        struct stat opened;
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            continue;
        // Only the file that was locked: the name may have been taken over meanwhile.
        struct stat named;
        if (::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev &&
            named.st_ino == opened.st_ino)
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

// Makes a finished rename survive a power loss; where the folder cannot be synced the file
// system gives no such promise anyway.
void SyncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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

} // namespace

EHistoryFileError::EHistoryFileError(const QString& message)
    : std::runtime_error(message.toUtf8().toStdString())
{
}

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
        if (pending == nullptr) {
            // Whole record lines while they last; the character-wise path below converts the
            // good pairs of a line that is not one and stops at a bad pair.
            const qsizetype wholeLines =
                std::min({static_cast<qsizetype>(end - p) / 18, static_cast<qsizetype>(HistoryImageSize - k) / 8,
                          static_cast<qsizetype>(LinesRead - line + 1)});
            qsizetype taken = 0;
            while (taken < wholeLines && p[16] == '\r' && p[17] == '\n' && DecodeRecordLine(p, image.data() + k)) {
                k += 8;
                p += 18;
                ++taken;
            }
            line += static_cast<int>(taken);
            if (taken > 0)
                continue;
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
                return {THistoryLoadOutcome::BadPair,
                        QStringLiteral("Файл «%1», строка %2: «$%3» не является шестнадцатеричным числом")
                            .arg(fileName)
                            .arg(pendingLine)
                            .arg(PairText(pair))};
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
    return {};
}

THistoryLoadResult LoadHistoryFile(THistoryState& state, const QString& path)
{
    auto unreadable = [&state] {
        state.HistoryImage.fill(HistoryMissing);
        return THistoryLoadResult{THistoryLoadOutcome::Unreadable, {}};
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            state.HistoryImage.fill(HistoryMissing);
            return {THistoryLoadOutcome::Missing, {}};
        }
        return unreadable();
    }
    TDescriptor descriptor(fd);
    QByteArray text(LongestUsefulText, Qt::Uninitialized);
    qsizetype used = 0;
    while (used < text.size()) {
        const ssize_t got = ::read(fd, text.data() + used, static_cast<std::size_t>(text.size() - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return unreadable();
        }
        if (got == 0)
            break;
        used += got;
    }
    text.truncate(used);
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
        const std::uint8_t v = rec.OutdoorTemp;
        if (v == HistoryMissing) {
            put("---", 3);
        } else if (v == 0 || v == 128) {
            put("  0", 3);
        } else if (v <= 127) {
            putText(v < 10 ? " +" : "+");
            putNumber(v);
        } else {
            putText(v - 128 < 10 ? " -" : "-");
            putNumber(v - 128);
        }
        putBytes(Degrees);
        if (rec.PressureCode == HistoryMissing)
            put("---", 3);
        else
            putNumber(PressureBase - rec.PressureCode);
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
    ReplaceFileAtomically(path, HistoryExportBytes(image));
}

void ReplaceFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    const QString shown = ShownName(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const QByteArray prefix = TemporaryPrefix(info);
    auto fail = [&shown](const QString& what, int error) {
        throw EHistoryFileError(QStringLiteral("Не удалось записать файл «%1»: %2%3")
                                    .arg(shown, what, SystemReason(error)));
    };

    // First, so that a full disk gets back the room a killed save took.
    RemoveStaleTemporaries(folder, prefix);

    // A hidden name beside the target, so the rename stays within one file system. The lock
    // marks the temporary as in use for the clean-up of other runs; one that was cleaned up
    // between its creation and the lock (no links left) is given up for a new one.
    static unsigned counter = 0;
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + '/' + prefix + QByteArray::number(::getpid()) + '-' + QByteArray::number(++counter) + ".tmp";
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno != EEXIST)
                fail(QStringLiteral("временный файл не создаётся: "), errno);
            continue;
        }
        struct stat created;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &created) != 0 || created.st_nlink == 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0)
        fail(QStringLiteral("временный файл не создаётся: "), EEXIST);

    TDescriptor descriptor(fd);
    auto failAndRemove = [&](const QString& what, int error) {
        ::unlink(temporary.constData());
        ::close(descriptor.Release());
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
    // Whole on disk before it takes the target's name: after a crash the name holds the old
    // file or the new one, never a part.
    if (::fsync(fd) != 0)
        failAndRemove({}, errno);
    if (::rename(temporary.constData(), target.constData()) != 0)
        failAndRemove(QStringLiteral("не удаётся заменить его: "), errno);
    // The data were synced above, so a late error of the close loses nothing; the close also
    // ends the lock.
    ::close(descriptor.Release());
    SyncFolder(folder);
}
