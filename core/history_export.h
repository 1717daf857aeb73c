// The readable export of the history copy, "met.txt": one Windows-1251 line with CR LF per
// non-empty record, in memory order. It lives in the current directory unless a path is given.
#pragma once

#include "core/history_state.h"
#include "os/atomic_file.h"

#include <QByteArray>
#include <QString>

inline const QString HistoryExportFileName = QStringLiteral("met.txt");

// The export's bytes.
QByteArray HistoryExportBytes(const THistoryImage& image);

// Writes the export, replaced atomically like the history file. Throws os::EFileError.
void ExportHistoryText(const THistoryImage& image, const QString& path = HistoryExportFileName);
