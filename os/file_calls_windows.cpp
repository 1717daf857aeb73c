#include "os/file_calls.h"

#include <QDir>
#include <cerrno>
#include <cstdio>
#include <io.h>

namespace os {

namespace {

std::wstring Native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

} // namespace

int FolderWriteError(const QString& folder)
{
    constexpr int WriteAccess = 2;
    return _waccess(Native(folder).c_str(), WriteAccess) != 0 ? errno : 0;
}

int RenameFile(const QString& from, const QString& to)
{
    return _wrename(Native(from).c_str(), Native(to).c_str()) != 0 ? errno : 0;
}

} // namespace os
