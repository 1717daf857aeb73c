// Writing a file so that a crash, a full disk or a killed program never leaves it half written:
// the new bytes go to a temporary file beside it, flushed to disk, then renamed over it; and
// reading the start of a file, or of a private one without following a link. Each system has its
// implementation (atomic_file_posix.cpp, atomic_file_windows.cpp). Also the error both report.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <stdexcept>

namespace os {

// A file could not be read or written. what() is the Russian message (UTF-8) that names the file
// and the system's reason, ready for the standard error box.
class EFileError : public std::runtime_error
{
public:
    explicit EFileError(const QString& message)
        : std::runtime_error(message.toUtf8().toStdString())
    {
    }
    QString Message() const { return QString::fromUtf8(what()); }
};

// Writes `bytes` to `path` through a temporary file in the same folder (".<name>.<pid>-<n>.tmp"),
// flushed to disk and renamed over the target; the target keeps its permissions, and a new file
// is the user's alone (0600 on POSIX systems, whatever the umask). Throws
// EFileError, leaving the target untouched and no temporary file behind. Temporaries of
// the same target that a killed run left behind are removed first.
void ReplaceFileAtomically(const QString& path, const QByteArray& bytes);

// The file's absolute path as the user's messages name it.
inline QString ShownFileName(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

enum class TFileReadOutcome {
    Read,
    Missing, // there is no such file
    Failed,  // Reason says why, in the user's language
    Link     // a link stands in the file's place (ReadPrivateFile only): nothing was read or changed
};

struct TFileStart
{
    TFileReadOutcome Outcome;
    QByteArray Bytes; // at most the limit
    QString Reason;
};

// The first `limit` bytes of the file (all of a shorter one).
TFileStart ReadFileStart(const QString& path, qsizetype limit);

// The same for a file that is the user's alone (the secrets'): read only through the file itself,
// never through a link in its place (a symbolic link, on Windows any reparse point), whose target is
// not the program's to read or change; a file that others may read is made the user's alone first.
TFileStart ReadPrivateFile(const QString& path, qsizetype limit);

} // namespace os
