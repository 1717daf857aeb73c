#include "os/file_calls.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace os {

int FolderWriteError(const QString& folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK) != 0 ? errno : 0;
}

int RenameFile(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0 ? errno : 0;
}

} // namespace os
