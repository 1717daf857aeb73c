// The program keeps its files in its current directory, which must be the user's data folder. On
// Linux the launcher starts the program there; on Windows, where programs start in their own
// folder, the program enters the user's application-data folder itself.
#pragma once

#include <QString>

// `subfolder` (none for the program) keeps the demo's files apart from the program's.
void EnterDataFolder(const QString& subfolder = {});
