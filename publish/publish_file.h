// The plain settings file of the publishers, "publish.ini" in the data folder: every publisher
// keeps its group there, and the station's id lies beside them. Passwords never go in it.
#pragma once

#include <QSettings>
#include <QString>

namespace publish {

inline constexpr const char* PublishFileName = "publish.ini";

QString PublishFilePath(const QString& dataFolder);

// The file opened for reading or writing (INI format, UTF-8).
QSettings OpenPublishFile(const QString& dataFolder);

// Why the file cannot be read, or that it is damaged, as the program's other settings file is told
// of; empty when it reads whole or is not there. Once per start: every publisher reads the file.
QString PublishFileProblem(const QString& dataFolder);

// Writes what was set on `file`, a new file the user's alone; empty when that succeeded, otherwise
// the program's message naming the file.
QString SyncPublishFile(QSettings& file);

} // namespace publish
