// The Exec line of a desktop entry: arguments quoted as desktop entry files want them
// (double quotes around anything with a reserved character, backslashes before " ` $ \ inside
// them, %% for a percent sign), and the value escaped as a desktop entry string (\\ for \). A program
// whose path holds a percent sign is started through the shell, so that GLib finds the entry's program.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace desktop {

// The value of an Exec key that runs `program` with `arguments`.
QString ExecValue(const QString& program, const QStringList& arguments);
// The program and its arguments from an Exec key's value (the shell that ExecValue puts in front
// left out); none when the quoting is broken.
std::optional<QStringList> ExecArguments(const QString& value);

} // namespace desktop
