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

} // namespace os
