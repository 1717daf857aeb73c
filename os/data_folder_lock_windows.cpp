#include "os/data_folder_lock.h"

#include <QDir>
#include <cerrno>
#include <cstdlib>
#include <string>

#include <windows.h>

namespace os {

namespace {

// The lock covers one byte far beyond the file's end, so that the process id at its start stays
// readable for a second start while the lock is held.
constexpr DWORD LockOffset = 0x40000000;
// A lock file that its closing program has just marked for deletion cannot be opened until it is
// gone; such a moment passes quickly.
constexpr int OpenAttempts = 10;
constexpr DWORD DeletePendingPauseMs = 50;

TLockHolder ReadHolder(HANDLE file)
{
    char text[256] = {};
    DWORD got = 0;
    OVERLAPPED at{};
    if (!ReadFile(file, text, sizeof text - 1, &got, &at) || got == 0)
        return {};
    return ParseLockFileText(QByteArray(text, static_cast<qsizetype>(got)));
}

} // namespace

TDataFolderLock::TDataFolderLock(const QString& folder, const QString& holderKind)
    : FFolder(QDir(folder).absolutePath())
{
    const std::wstring path = QDir::toNativeSeparators(QDir(FFolder).filePath(DataFolderLockName)).toStdWString();
    // A link in the place of the program's own file: followed, the lock would cut short whatever
    // it points to. It gives way to a real lock file.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        !DeleteFileW(path.c_str()) && !RemoveDirectoryW(path.c_str())) {
        FError = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
        FState = TState::Unprotected;
        return;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < OpenAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
        // The link itself, should one appear meanwhile: never what it points to.
        file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_ACCESS_DENIED)
            break;
        if (file == INVALID_HANDLE_VALUE)
            Sleep(DeletePendingPauseMs);
    }
    if (file == INVALID_HANDLE_VALUE)
        return; // Unavailable
    BY_HANDLE_FILE_INFORMATION opened{};
    if (!GetFileInformationByHandle(file, &opened) || (opened.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(file);
        FState = TState::Unprotected;
        FError = EIO;
        return;
    }
    OVERLAPPED at{};
    at.Offset = LockOffset;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        if (GetLastError() == ERROR_LOCK_VIOLATION) {
            FState = TState::HeldElsewhere;
            const TLockHolder holder = ReadHolder(file);
            FHolder = holder.ProcessId;
            FHolderKind = holder.Kind;
        }
        CloseHandle(file);
        return;
    }
    // Ours: left by a program that ended (however it ended), or new.
    const QByteArray id = LockFileText(GetCurrentProcessId(), holderKind);
    DWORD written = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    WriteFile(file, id.constData(), static_cast<DWORD>(id.size()), &written, nullptr);
    Fd = reinterpret_cast<std::intptr_t>(file);
    FState = TState::Taken;
}

TDataFolderLock::~TDataFolderLock()
{
    if (Fd == -1)
        return;
    // Marked for deletion while still locked, so no other start can take a file that is about to go.
    const auto file = reinterpret_cast<HANDLE>(Fd);
    DeleteFileW(QDir::toNativeSeparators(QDir(FFolder).filePath(DataFolderLockName)).toStdWString().c_str());
    CloseHandle(file);
}

} // namespace os
