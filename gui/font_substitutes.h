// Stand-ins for the Windows font families the window is laid out with. Where a family is missing,
// Qt is told to use the first present face of a list that keeps the metrics close (Liberation is
// metric-compatible with Arial and Times New Roman).
#pragma once

#include <QString>

namespace gui {

// Idempotent; call once a QGuiApplication exists.
void InstallFontSubstitutes();

// The face that text in `family` is drawn with here (the family itself when present).
QString ResolvedFontFamily(const QString& family);

} // namespace gui
