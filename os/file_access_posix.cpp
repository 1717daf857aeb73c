// Who may change the data folder's files, on POSIX systems; see file_access.h.
#include "os/file_access.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os {

void CreateUserOnlyFile(const QString& path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    // The umask only takes bits away; this sets exactly these.
    ::fchmod(fd, 0600);
    ::close(fd);
}

QString OthersMayChangeReason(const QString& path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    if (info.st_uid != ::geteuid())
        return QStringLiteral("файл принадлежит другому пользователю");
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("файл могут менять другие пользователи (права %1)")
            .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return {};
}

} // namespace os
