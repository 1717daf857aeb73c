// The program keeps its files in its current directory, which must be the user's data folder for
// the program: $XDG_DATA_HOME/meteostation on Linux, %LOCALAPPDATA%\meteostation on Windows. On Linux
// the launcher starts the program there; Windows starts programs in their own folder, so there the
// program enters the folder itself.
#pragma once

#include "os/command_line.h"

#include <QString>
#include <vector>

namespace os {

QString ProgramDataFolder();

// When the program works in its data folder, for its usage text; lines of at most 96 characters.
QString DataFolderNote();
// The environment variables that choose the data folder.
std::vector<TEnvironmentVariable> DataFolderVariables();

// Makes the current directory the program's data folder where the system does not do that; false,
// with the reason for the user, when the folder cannot be made or entered.
bool EnterDataFolder(QString& problem);

} // namespace os
