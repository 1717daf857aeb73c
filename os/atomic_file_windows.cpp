// Replacing a file whole and reading its start on Windows; see atomic_file.h.
#include "os/atomic_file.h"

#include "base/system_reason.h"

#include <QFile>
#include <cerrno>
#include <string>

#include <windows.h>

namespace os {

namespace {

class THandle
{
public:
    explicit THandle(HANDLE handle)
        : Handle(handle)
    {
    }
    ~THandle() { Close(); }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Get() const { return Handle; }
    bool Valid() const { return Handle != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle)
    {
        Close();
        Handle = handle;
    }
    void Close()
    {
        if (Valid())
            CloseHandle(Handle);
        Handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE Handle;
};

std::wstring Native(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
}

QString SystemText(DWORD error)
{
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, static_cast<DWORD>(std::size(text)), nullptr);
    QString reason = QString::fromWCharArray(text, static_cast<qsizetype>(length)).trimmed();
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason.isEmpty() ? QStringLiteral("ошибка %1").arg(error) : reason;
}

// The reasons a save meets in practice in the program's own words, as on Linux; the system's
// text for the rest.
QString SystemReason(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return base::SystemReason(ENOSPC);
    case ERROR_WRITE_PROTECT:
        return base::SystemReason(EROFS);
    case ERROR_ACCESS_DENIED:
        return base::SystemReason(EACCES);
    case ERROR_FILE_TOO_LARGE:
        return base::SystemReason(EFBIG);
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
        return base::SystemReason(EIO);
    case ERROR_PATH_NOT_FOUND:
        return base::SystemReason(ENOENT);
    default:
        return SystemText(error);
    }
}

QString ReadReason(DWORD error)
{
    return error == ERROR_ACCESS_DENIED ? QStringLiteral("нет прав на чтение") : SystemReason(error);
}

// Temporary files of a replacement are named ".<target>.<pid>-<n>.tmp" beside the target.
std::wstring TemporaryPrefix(const QFileInfo& info)
{
    return QDir::toNativeSeparators(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QLatin1Char('.'))
        .toStdWString();
}

// Removes the temporaries that earlier replacements of the same target left behind when their
// program was killed or lost power before the rename. A live writer holds its temporary open
// without sharing it for deletion, so only those without an owner go.
void RemoveStaleTemporaries(const std::wstring& prefix)
{
    const std::wstring pattern = prefix + L"*.tmp";
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    const std::wstring folder = prefix.substr(0, prefix.rfind(L'\\') + 1);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Opens the file for reading; `flags` as CreateFileW takes them.
HANDLE OpenForReading(const QString& path, DWORD flags)
{
    return CreateFileW(Native(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, flags, nullptr);
}

TFileStart OpenFailure()
{
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND)
        return {TFileReadOutcome::Missing, {}, {}};
    return {TFileReadOutcome::Failed, {}, ReadReason(error)};
}

// The first `limit` bytes from an open file.
TFileStart ReadStart(const THandle& file, qsizetype limit)
{
    QByteArray text(limit, Qt::Uninitialized);
    qsizetype used = 0;
    while (used < text.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), text.data() + used, static_cast<DWORD>(text.size() - used), &got, nullptr))
            return {TFileReadOutcome::Failed, {}, ReadReason(GetLastError())};
        if (got == 0)
            break;
        used += got;
    }
    text.truncate(used);
    return {TFileReadOutcome::Read, text, {}};
}

} // namespace

TFileStart ReadFileStart(const QString& path, qsizetype limit)
{
    THandle file(OpenForReading(path, FILE_ATTRIBUTE_NORMAL));
    return file.Valid() ? ReadStart(file, limit) : OpenFailure();
}

// A link's target is not opened: the reparse point itself is, and tells what it is.
TFileStart ReadPrivateFile(const QString& path, qsizetype limit)
{
    THandle file(OpenForReading(path, FILE_FLAG_OPEN_REPARSE_POINT));
    if (!file.Valid())
        return OpenFailure();
    BY_HANDLE_FILE_INFORMATION opened{};
    if (!GetFileInformationByHandle(file.Get(), &opened))
        return {TFileReadOutcome::Failed, {}, ReadReason(GetLastError())};
    if ((opened.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return {TFileReadOutcome::Link, {}, {}};
    return ReadStart(file, limit);
}

void ReplaceFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    const QString shown = ShownFileName(path);
    const std::wstring target = Native(path);
    const std::wstring prefix = TemporaryPrefix(info);
    auto fail = [&shown](const QString& what, DWORD error) {
        throw EFileError(QStringLiteral("Не удалось записать файл «%1»: %2%3").arg(shown, what, SystemReason(error)));
    };

    // First, so that a full disk gets back the room a killed save took.
    RemoveStaleTemporaries(prefix);

    // A hidden name beside the target, so the rename stays within one volume; held without
    // sharing deletion until the rename, which marks it as in use for the clean-up of other runs.
    static unsigned counter = 0;
    std::wstring temporary;
    THandle file(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
        temporary = prefix + std::to_wstring(GetCurrentProcessId()) + L'-' + std::to_wstring(++counter) + L".tmp";
        const HANDLE created = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (created == INVALID_HANDLE_VALUE) {
            if (GetLastError() != ERROR_FILE_EXISTS)
                fail(QStringLiteral("временный файл не создаётся: "), GetLastError());
            continue;
        }
        file.Reset(created);
    }
    if (!file.Valid())
        fail(QStringLiteral("временный файл не создаётся: "), ERROR_FILE_EXISTS);

    auto failAndRemove = [&](const QString& what, DWORD error) {
        file.Close();
        DeleteFileW(temporary.c_str());
        fail(what, error);
    };
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(file.Get(), data, static_cast<DWORD>(left), &written, nullptr))
            failAndRemove({}, GetLastError());
        data += written;
        left -= written;
    }
    // Whole on disk before it takes the target's name: after a crash the name holds the old
    // file or the new one, never a part.
    if (!FlushFileBuffers(file.Get()))
        failAndRemove({}, GetLastError());
    file.Close();
    // The file's attributes are the temporary's own: the target is shown as an ordinary file.
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        fail(QStringLiteral("не удаётся заменить его: "), error);
    }
}

} // namespace os
