// Test programs' child programs, forked and executed directly.
#include "tests/support/child_program.h"

#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsupport {
namespace {

// Everything the child needs, made before the fork: after it only async-signal-safe calls.
struct TExec
{
    std::vector<std::string> Words;
    std::vector<std::string> Environment;
    std::vector<char*> Argv;
    std::vector<char*> Envp;

    TExec(const QString& program, const QStringList& arguments, const QStringList& added)
    {
        Words.push_back(QFile::encodeName(program).toStdString());
        for (const QString& argument : arguments)
            Words.push_back(argument.toLocal8Bit().toStdString());
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            bool replaced = false;
            for (const QString& entryAdded : added)
                replaced =
                    replaced || text.rfind(entryAdded.section(QLatin1Char('='), 0, 0).toStdString() + '=', 0) == 0;
            if (!replaced)
                Environment.push_back(text);
        }
        for (const QString& entryAdded : added)
            Environment.push_back(entryAdded.toLocal8Bit().toStdString());
        for (std::string& word : Words)
            Argv.push_back(word.data());
        Argv.push_back(nullptr);
        for (std::string& entry : Environment)
            Envp.push_back(entry.data());
        Envp.push_back(nullptr);
    }
};

} // namespace

TChildProgram::TChildProgram(const QString& program, const QStringList& arguments, const QString& folder,
                             const QStringList& environment)
{
    static int counter = 0;
    OutputFile = QDir::temp().filePath(
        QStringLiteral("meteo-child-%1-%2.out").arg(QCoreApplication::applicationPid()).arg(++counter));
    TExec exec(program, arguments, environment);
    const QByteArray output = QFile::encodeName(OutputFile);
    const QByteArray where = QFile::encodeName(folder);
    const int out = ::open(output.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        StartError = "cannot open " + output;
        return;
    }
    const pid_t parent = ::getpid();
    Pid = ::fork();
    if (Pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        if (!where.isEmpty() && ::chdir(where.constData()) != 0)
            ::_exit(127);
        ::execvpe(exec.Argv[0], exec.Argv.data(), exec.Envp.data());
        ::_exit(127);
    }
    ::close(out);
    if (Pid < 0)
        StartError = QByteArray("fork: ") + std::strerror(errno);
}

TChildProgram::~TChildProgram()
{
    if (Running()) {
        Signal(SIGCONT);
        Signal(SIGKILL);
        int status = 0;
        ::waitpid(Pid, &status, 0);
    }
    QFile::remove(OutputFile);
}

bool TChildProgram::Running()
{
    if (Pid <= 0 || Status)
        return false;
    int status = 0;
    if (::waitpid(Pid, &status, WNOHANG) == Pid)
        Status = status;
    return !Status;
}

void TChildProgram::Signal(int signal)
{
    if (Running())
        ::kill(Pid, signal);
}

std::optional<int> TChildProgram::Wait(int timeoutMs)
{
    PumpUntil([this] { return !Running(); }, timeoutMs);
    return Status;
}

bool TChildProgram::Succeeded()
{
    return !Running() && Status && WIFEXITED(*Status) && WEXITSTATUS(*Status) == 0;
}

QByteArray TChildProgram::Output() const
{
    if (!StartError.isEmpty())
        return StartError;
    QFile file(OutputFile);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace testsupport
