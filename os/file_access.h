// Who may change the files in the data folder. The program makes its files the user's alone
// whatever the umask, also those that SQLite and Qt's settings write: both keep the mode of a file
// they find. Each system has its implementation (file_access_posix.cpp, file_access_windows.cpp);
// on Windows the folder's access rules are the system's and nothing is done.
#pragma once

#include <QString>

namespace os {

// Makes `path` an empty file that only the user may read and write, unless something already has
// that name (a link among them: it is left alone). A failure is left for the file's writer to
// meet and tell.
void CreateUserOnlyFile(const QString& path);

} // namespace os
