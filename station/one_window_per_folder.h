// A second start in a data folder that a running program holds: the user is told, the running
// program is asked to bring its window forward, and the second start ends without touching any
// file.
#pragma once

#include "os/data_folder_lock.h"

#include <QString>
#include <memory>

// What the user reads.
QString AlreadyRunningText(const QString& folder);
// What a start finds in a folder `lock` says another program holds: the window or the service,
// which never run on one folder at once.
QString FolderHeldText(const os::TDataFolderLock& lock);
// The same when the folder's lock file cannot be had (a link in its place that stays); `error` is
// the system's error number.
QString UnprotectedFolderText(const QString& folder, int error);

// For main(), with the application object made: takes the lock of the current folder and makes
// this program answer a later start's request to come forward. When another program holds the
// folder, tells the user so (a box, closed by its button or by SIGTERM, and the same text on
// standard error), asks that program to bring its window forward, and returns null: the caller
// ends at once. A folder where no lock can be had is used without one; where that is for a link in
// the lock file's place, the user is told so once the window is up.
std::unique_ptr<os::TDataFolderLock> ClaimCurrentFolder();
