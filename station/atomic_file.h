// Writing a file so that a crash, a full disk or a killed program never leaves it half written:
// the new bytes go to a temporary file beside it, flushed to disk, then renamed over it (POSIX).
// Also the error the history's files report and the helpers their readers share.
#pragma once

#include <QByteArray>
#include <QString>
#include <stdexcept>
#include <unistd.h>

// A file of the history could not be read or written. what() is the Russian message (UTF-8) that
// names the file and the system's reason, ready for the standard error box.
class EHistoryFileError : public std::runtime_error
{
public:
    explicit EHistoryFileError(const QString& message);
    QString Message() const { return QString::fromUtf8(what()); }
};

// Writes `bytes` to `path` through a temporary file in the same folder (".<name>.<pid>-<n>.tmp"),
// flushed to disk and renamed over the target; the target keeps its permissions. Throws
// EHistoryFileError, leaving the target untouched and no temporary file behind. Temporaries of
// the same target that a killed run left behind are removed first.
void ReplaceFileAtomically(const QString& path, const QByteArray& bytes);

// The file's absolute path as the user's messages name it.
QString ShownFileName(const QString& path);

// An open file descriptor, closed with its owner.
class TFileDescriptor
{
public:
    explicit TFileDescriptor(int fd) : Fd(fd) {}
    ~TFileDescriptor()
    {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return Fd; }
    int Release()
    {
        const int fd = Fd;
        Fd = -1;
        return fd;
    }

private:
    int Fd;
};

