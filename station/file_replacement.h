// Reading and replacing the program's files in the ways each system offers: a replacement leaves
// the old file or the new one, never a part, also after a crash; a failure comes with its reason
// in the user's language. ReplaceFileAtomically (history_file.h) is implemented here too.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>

// The file's full name as the user's system writes it, for messages.
inline QString ShownName(const QString& path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

enum class TFileReadOutcome
{
    Read,
    Missing, // there is no such file
    Failed   // Reason says why
};

struct TFileStart
{
    TFileReadOutcome Outcome;
    QByteArray Bytes; // at most the limit
    QString Reason;
};

// The first `limit` bytes of the file (all of a shorter one).
TFileStart ReadFileStart(const QString& path, qsizetype limit);
