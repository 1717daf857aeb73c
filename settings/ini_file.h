// A settings file of the program as a whole: whether it could be read and is an INI file's text at
// all, and writing what was set on it so that the file stays the user's alone.
#pragma once

#include <QString>

class QSettings;

namespace settings {

// Why the file opened as `file` could not be read (then the defaults stand) or that it is damaged,
// binary junk included (then what could be read stands), naming it by its full path; empty when it
// was read whole or is not there. Every settings file of the program is told of so.
QString FileProblem(const QSettings& file);

// Writes what was set on `file`; false when the system would not let it, which its writer tells in
// its own words. A new file is the user's alone (Qt keeps the mode of a file it finds); a damaged
// file is written anew with what could be read of it and the change, its damage told when read.
bool WriteFile(QSettings& file);

} // namespace settings
