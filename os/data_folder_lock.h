// One window per data folder. Two windows on one "met.mtb" would each write their own copy at
// close, and the last to close would win over a fresh download of the other. So the program holds
// a lock on a file in its folder for as long as it runs: a lock of the system's (flock), which
// ends with the program however it ends, so a program that was killed leaves only the file, and
// the next start takes it over. (On Windows a lock of a byte range of the file, which also ends
// with the program.)
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace os {

inline const QString DataFolderLockName = QStringLiteral(".meteostation.lock");
// The holder's kind that the program run as a service gives; the window gives none.
inline const QString ServiceLockHolder = QStringLiteral("service");

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

    // Tries to take the lock of `folder`; never waits. `holderKind` says, to a later start that
    // finds the folder held, what kind of program holds it (e.g. "service"; empty: the window).
    explicit TDataFolderLock(const QString& folder, const QString& holderKind = {});
    // Gives the lock up and removes the file.
    ~TDataFolderLock();
    TDataFolderLock(const TDataFolderLock&) = delete;
    TDataFolderLock& operator=(const TDataFolderLock&) = delete;

    TState State() const { return FState; }
    // The folder, as an absolute path.
    QString Folder() const { return FFolder; }
    // The process that holds the folder (HeldElsewhere), 0 when it cannot be told.
    std::int64_t HolderProcessId() const { return FHolder; }
    // The holder's kind as it gave it (HeldElsewhere); empty for the window or when unknown.
    const QString& HolderKind() const { return FHolderKind; }
    // Why the lock file could not be replaced (Unprotected): the system's error number.
    int SystemError() const { return FError; }

private:
    QString FFolder;
    TState FState = TState::Unavailable;
    std::int64_t FHolder = 0;
    QString FHolderKind;
    int FError = 0;
    std::intptr_t Fd = -1; // the system's handle of the locked file
};

// What the lock file holds while the lock is held: the holder's process id on the first line and
// its kind on the second.
struct TLockHolder
{
    std::int64_t ProcessId = 0; // 0 when the text holds none
    QString Kind;
};
QByteArray LockFileText(std::int64_t processId, const QString& kind);
TLockHolder ParseLockFileText(const QByteArray& text);

} // namespace os
