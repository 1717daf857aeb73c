// File operations whose failures must come with the system's error code (errno), as the archive
// tells them, each in the call that takes the system's own form of a path: UTF-8 bytes on Linux,
// UTF-16 on Windows, so that any name of the user's folder works.
#pragma once

#include <QString>

namespace os {

// 0 when the folder takes new files, else the reason as an errno code.
int FolderWriteError(const QString& folder);

// Renames a file; 0, or the reason as an errno code.
int RenameFile(const QString& from, const QString& to);

} // namespace os
