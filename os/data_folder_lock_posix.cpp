#include "os/data_folder_lock.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

namespace {

// The holder writes its process id and kind into the file once it has the lock; a reader finds
// them there while the lock is held.
TLockHolder ReadHolder(int fd)
{
    char text[256] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    return got > 0 ? ParseLockFileText(QByteArray(text, got)) : TLockHolder{};
}

// Whether `fd` is still the file named `path`: a program that was closing may have removed it
// between our open and our lock.
bool StillNamed(int fd, const QByteArray& path)
{
    struct stat opened;
    struct stat named;
    return ::fstat(fd, &opened) == 0 && opened.st_nlink > 0 && ::stat(path.constData(), &named) == 0 &&
        opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

} // namespace

TDataFolderLock::TDataFolderLock(const QString& folder, const QString& holderKind)
    : FFolder(QDir(folder).absolutePath())
{
    const QByteArray path = QFile::encodeName(QDir(FFolder).filePath(DataFolderLockName));
    for (int attempt = 0; attempt < 10; ++attempt) {
        // The user's alone, as every file of the folder (see file_access.h).
        int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno == ELOOP) {
            // A link in the place of the program's own file: whatever it points to is left alone,
            // and a real lock file takes its place.
            if (::unlink(path.constData()) != 0 && errno != ENOENT) {
                FError = errno;
                FState = TState::Unprotected;
                return;
            }
            fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (fd < 0 && errno == EEXIST)
                continue; // another start made it meanwhile
            if (fd < 0) {
                FError = errno;
                FState = TState::Unprotected;
                return;
            }
        }
        // Someone else's lock file in a shared folder can still be locked through a reading handle.
        if (fd < 0 && (errno == EACCES || errno == EPERM))
            fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return; // Unavailable
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                FState = TState::HeldElsewhere;
                const TLockHolder holder = ReadHolder(fd);
                FHolder = holder.ProcessId;
                FHolderKind = holder.Kind;
            }
            ::close(fd);
            return;
        }
        if (!StillNamed(fd, path)) {
            ::close(fd);
            continue;
        }
        // Ours: left by a program that ended (however it ended), or new.
        const QByteArray id = LockFileText(::getpid(), holderKind);
        if (::ftruncate(fd, 0) == 0) {
            [[maybe_unused]] const ssize_t written =
                ::pwrite(fd, id.constData(), static_cast<std::size_t>(id.size()), 0);
        }
        Fd = fd;
        FState = TState::Taken;
        return;
    }
}

TDataFolderLock::~TDataFolderLock()
{
    if (Fd < 0)
        return;
    // Removed while still locked, so no other start can take a file that is about to go.
    ::unlink(QFile::encodeName(QDir(FFolder).filePath(DataFolderLockName)).constData());
    ::close(static_cast<int>(Fd));
}

} // namespace os
