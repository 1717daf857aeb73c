// The programs' command line: --help prints a short Russian usage (what the program does, its
// options, where it keeps its files, the environment variables it reads), --version the version;
// both end the program with status 0 before it touches any file. Anything else on the line is
// refused with status 2, as command-line programs do, but for the program's own switches.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace os {

// An environment variable the program reads, with what it changes.
struct TEnvironmentVariable
{
    QString Name;
    QString Meaning;
};

// A switch of the program's own beside --help and --version («--tray»), without a value.
struct TProgramOption
{
    QString Name; // without the dashes: "tray"
    QString Meaning;
};

// What `--help` says about a program.
struct TProgramUsage
{
    QString Program;        // the file name: "meteostation"
    QString Summary;        // what it does, one paragraph
    QString DataFolder;     // where it keeps its files; empty for a program that keeps none
    QString DataFolderNote; // lines about it: when it is used, what lies there
    std::vector<TEnvironmentVariable> Environment;
    std::vector<TProgramOption> Options;
};

// The answer to a command line: what to print, where, and the status to end with.
struct TCommandLineReply
{
    QString Text;
    bool Error = false; // to the error stream
    int ExitStatus = 0;
};

enum class TCommandLineCheck {
    HelpAndVersion, // only --help and --version; a window program asks before Qt takes its own options
    Everything,     // and refuses what is not the program's (after Qt has taken its own options)
};

// The reply the arguments (the program's name first) call for, or none when the program should run.
std::optional<TCommandLineReply> ReadCommandLine(const QStringList& arguments, const TProgramUsage& usage,
                                                 TCommandLineCheck check);

// The same, printed: returns the exit status when the program must end now.
std::optional<int> AnswerCommandLine(const QStringList& arguments, const TProgramUsage& usage, TCommandLineCheck check);

// argv as Qt would read it, for a check before any application object exists.
QStringList ArgumentList(int argc, char** argv);

// The full usage text.
QString UsageText(const TProgramUsage& usage);

// The version line: "meteostation 1.2.0".
QString VersionText(const QString& program);

// Writes text for the user who started the program: to the terminal (or wherever its output is
// redirected); on Windows a window program without a console shows it in a message box.
void WriteToUser(const QString& text, bool error);

} // namespace os
