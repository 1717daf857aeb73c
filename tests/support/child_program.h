// A program a test starts and ends: forked and executed directly, its standard output and error
// kept in a file. QProcess starts programs with a vfork-like clone whose child runs in the test
// program's memory, which ThreadSanitizer cannot follow (it loses what it knew of the test
// program's own locks), so the tests built with it start their servers and helpers this way.
// The program ends with the test program, even by a crash.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace testsupport {

class TChildProgram
{
public:
    // Starts `program` (looked up in PATH unless it is a path) in `folder` (the current one when
    // empty), with the "NAME=value" entries of `environment` added to this program's own.
    TChildProgram(const QString& program, const QStringList& arguments, const QString& folder = {},
                  const QStringList& environment = {});
    ~TChildProgram(); // SIGKILL, waited for
    TChildProgram(const TChildProgram&) = delete;
    TChildProgram& operator=(const TChildProgram&) = delete;

    bool Started() const { return Pid > 0; }
    pid_t ProcessId() const { return Pid; }
    bool Running();
    void Signal(int signal);
    // Runs the event loop until the program has ended; its wait status, none after `timeoutMs`.
    std::optional<int> Wait(int timeoutMs);
    // Ended by itself with exit code 0.
    bool Succeeded();
    // What it wrote to its standard output and error so far; why it could not start.
    QByteArray Output() const;

private:
    pid_t Pid = -1;
    std::optional<int> Status;
    QString OutputFile;
    QByteArray StartError;
};

} // namespace testsupport
