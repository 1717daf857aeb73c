// One window per data folder. Two windows on one "met.mtb" would each write their own copy at
// close, and the last to close would win over a fresh download of the other. So the program holds
// a lock on a file in its folder for as long as it runs: a lock of the system's (flock), which
// ends with the program however it ends, so a program that was killed leaves only the file, and
// the next start takes it over. (On Windows a lock of a byte range of the file, which also ends
// with the program.)
#pragma once

#include <QString>
#include <cstdint>

namespace os {

inline const QString DataFolderLockName = QStringLiteral(".meteostation.lock");

class TDataFolderLock
{
public:
    enum class TState {
        Taken,         // this program holds the folder
        HeldElsewhere, // another program runs in the folder
        Unavailable,   // no lock can be had there (a read-only folder): nothing can be written there either
        Unprotected    // a link stands in the lock file's place and cannot be replaced: a second window is
                       // not kept out
    };

    // Tries to take the lock of `folder`; never waits.
    explicit TDataFolderLock(const QString& folder);
    // Gives the lock up and removes the file.
    ~TDataFolderLock();
    TDataFolderLock(const TDataFolderLock&) = delete;
    TDataFolderLock& operator=(const TDataFolderLock&) = delete;

    TState State() const { return FState; }
    // The folder, as an absolute path.
    QString Folder() const { return FFolder; }
    // The process that holds the folder (HeldElsewhere), 0 when it cannot be told.
    std::int64_t HolderProcessId() const { return FHolder; }
    // Why the lock file could not be replaced (Unprotected): the system's error number.
    int SystemError() const { return FError; }

private:
    QString FFolder;
    TState FState = TState::Unavailable;
    std::int64_t FHolder = 0;
    int FError = 0;
    std::intptr_t Fd = -1; // the system's handle of the locked file
};

} // namespace os
