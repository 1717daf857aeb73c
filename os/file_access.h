// Who may change the files in the data folder. The program makes its files the user's alone
// whatever the umask, also those that SQLite and Qt's settings write: both keep the mode of a file
// they find. And what it takes from a file that others could have written is only what can do no
// harm. Each system has its implementation (file_access_posix.cpp, file_access_windows.cpp); on
// Windows the folder's access rules are the system's and neither does anything.
#pragma once

#include <QString>

namespace os {

// Makes `path` an empty file that only the user may read and write, unless something already has
// that name (a link among them: it is left alone). A failure is left for the file's writer to
// meet and tell.
void CreateUserOnlyFile(const QString& path);

// Why someone other than the user could have changed the file, in Russian, e.g. «файл могут
// менять другие пользователи (права 0666)»; empty when only the user can, or there is no file.
QString OthersMayChangeReason(const QString& path);

} // namespace os
