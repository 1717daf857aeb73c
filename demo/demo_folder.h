// The demo keeps its files apart from the program's: in "demo" inside the program's data folder
// ($XDG_DATA_HOME/meteostation/demo, %LOCALAPPDATA%\meteostation\demo), wherever it is started from, so that the
// stand-in's history can never take the place of a real station's "met.mtb".
#pragma once

#include <QString>

QString DemoDataFolder();

// Makes the folder where it is missing and makes it the current one; false, with the reason for
// the user, when that cannot be done.
bool EnterDemoDataFolder(QString& problem);
