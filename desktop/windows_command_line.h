// A Windows command line, as the Run key holds it: each argument quoted where it holds a space, a
// tab or a quote, with the backslashes before a quote doubled, as Windows programs split their
// command line again (CommandLineToArgvW's rules). Plain text work, built on every system so that
// its tests run everywhere.
#pragma once

#include <QString>
#include <QStringList>

namespace desktop {

QString WindowsCommandLine(const QString& program, const QStringList& arguments);
// The program and its arguments of a command line.
QStringList SplitWindowsCommandLine(const QString& line);

} // namespace desktop
