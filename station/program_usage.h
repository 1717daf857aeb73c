// What `meteostation --help` tells: what the program does, where it keeps its files and every
// environment variable the programs of the station read.
#pragma once

#include "os/command_line.h"

// Every environment variable that the program and the demo read, in the order the usage lists
// them. A variable the program comes to read gets its row here.
std::vector<os::TEnvironmentVariable> ProgramEnvironment();

// The usage of a window program of the station that keeps its files in `dataFolder`; `note` says
// when it works there.
os::TProgramUsage WindowProgramUsage(const QString& program, const QString& summary, const QString& dataFolder,
                                     const QString& note);

// Runs the program without a window (station_service.h).
inline const QString ServiceArgument = QStringLiteral("--service");

// meteostation's own.
os::TProgramUsage ProgramUsage();
