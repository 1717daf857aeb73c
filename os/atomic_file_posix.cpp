// Replacing a file whole and reading its start on POSIX systems; see atomic_file.h.
#include "os/atomic_file.h"

#include "base/system_reason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

namespace {

constexpr mode_t UserOnlyMode = 0600;

// An open file descriptor, closed with its owner.
class TFileDescriptor
{
public:
    explicit TFileDescriptor(int fd)
        : Fd(fd)
    {
    }
    ~TFileDescriptor()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
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

// The reasons a read meets in practice; the rest as a save gives them.
QString ReadReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав на чтение");
    case EISDIR:
        return QStringLiteral("на его месте папка, а не файл");
    default:
        return base::SystemReason(error);
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
        TFileDescriptor descriptor(fd);
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

// The first `limit` bytes from an open file.
TFileStart ReadStart(int fd, qsizetype limit)
{
    QByteArray text(limit, Qt::Uninitialized);
    qsizetype used = 0;
    while (used < text.size()) {
        const ssize_t got = ::read(fd, text.data() + used, static_cast<std::size_t>(text.size() - used));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {TFileReadOutcome::Failed, {}, ReadReason(errno)};
        }
        if (got == 0)
            break;
        used += got;
    }
    text.truncate(used);
    return {TFileReadOutcome::Read, text, {}};
}

// A hidden name beside the target, so the rename stays within one file system. The lock marks the
// temporary as in use for the clean-up of other runs; one that was cleaned up between its creation
// and the lock (no links left) is given up for a new one. The descriptor, or -1 with the system's
// error code in `error`.
int CreateLockedTemporary(const QByteArray& folder, const QByteArray& prefix, QByteArray& temporary, int& error)
{
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary =
            folder + '/' + prefix + QByteArray::number(::getpid()) + '-' + QByteArray::number(++counter) + ".tmp";
        const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, UserOnlyMode);
        if (fd < 0) {
            if (errno != EEXIST) {
                error = errno;
                return -1;
            }
            continue;
        }
        struct stat created;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &created) != 0 || created.st_nlink == 0) {
            ::close(fd);
            continue;
        }
        return fd;
    }
    error = EEXIST;
    return -1;
}

// Every byte written, however the system splits the writes; 0, or the system's error code.
int WriteAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<std::size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= written;
    }
    return 0;
}

} // namespace

TFileStart ReadFileStart(const QString& path, qsizetype limit)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {errno == ENOENT ? TFileReadOutcome::Missing : TFileReadOutcome::Failed, {}, ReadReason(errno)};
    TFileDescriptor descriptor(fd);
    return ReadStart(fd, limit);
}

TFileStart ReadPrivateFile(const QString& path, qsizetype limit)
{
    // Not blocking: something other than a file in its place (a pipe) must not hold the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0 && errno == ELOOP)
        return {TFileReadOutcome::Link, {}, {}};
    if (fd < 0)
        return {errno == ENOENT ? TFileReadOutcome::Missing : TFileReadOutcome::Failed, {}, ReadReason(errno)};
    TFileDescriptor descriptor(fd);
    struct stat opened;
    if (::fstat(fd, &opened) != 0)
        return {TFileReadOutcome::Failed, {}, ReadReason(errno)};
    if (!S_ISREG(opened.st_mode))
        return {TFileReadOutcome::Failed, {}, ReadReason(S_ISDIR(opened.st_mode) ? EISDIR : EINVAL)};
    // Through the descriptor: the file that was opened, whatever takes its name meanwhile.
    if ((opened.st_mode & 07777) != UserOnlyMode)
        ::fchmod(fd, UserOnlyMode);
    return ReadStart(fd, limit);
}

void ReplaceFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QFileInfo info(path);
    const QString shown = ShownFileName(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const QByteArray prefix = TemporaryPrefix(info);
    auto fail = [&shown](const QString& what, int error) {
        throw EFileError(
            QStringLiteral("Не удалось записать файл «%1»: %2%3").arg(shown, what, base::SystemReason(error)));
    };

    // First, so that a full disk gets back the room a killed save took.
    RemoveStaleTemporaries(folder, prefix);

    QByteArray temporary;
    int createError = 0;
    const int fd = CreateLockedTemporary(folder, prefix, temporary, createError);
    if (fd < 0)
        fail(QStringLiteral("временный файл не создаётся: "), createError);

    TFileDescriptor descriptor(fd);
    auto failAndRemove = [&](const QString& what, int error) {
        ::unlink(temporary.constData());
        ::close(descriptor.Release());
        fail(what, error);
    };

    // The umask has no say: a new file is the user's alone, an old one keeps what it had. A link
    // in the target's place is replaced, and what it points to lends nothing. (File systems
    // without modes, such as FAT, refuse the change and still take the file.)
    struct stat old;
    const bool replacing = ::lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode);
    ::fchmod(fd, replacing ? old.st_mode & 07777 : UserOnlyMode);

    if (const int writeError = WriteAll(fd, bytes); writeError != 0)
        failAndRemove({}, writeError);
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

} // namespace os
