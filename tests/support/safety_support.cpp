#include "tests/support/safety_support.h"

#include "archive/archive_store.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace safety {
namespace {

bool WriteText(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

QString SystemText(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Enters a mount namespace of this test program's own, once: as root directly, otherwise inside
// a new user namespace (possible only while the program has a single thread). Returns an
// explanation when neither works, an empty text on success.
QString EnterPrivateMounts()
{
    static const QString Why = [] {
        if (::unshare(CLONE_NEWNS) != 0) {
            const QString asRoot = SystemText("unshare(CLONE_NEWNS)");
            const uid_t uid = ::getuid();
            const gid_t gid = ::getgid();
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
                return asRoot + QStringLiteral("; ") + SystemText("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
            if (!WriteText("/proc/self/setgroups", "deny") ||
                !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
                !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
                return SystemText("user namespace maps");
        }
        // Nothing mounted from here on propagates back to the system.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return SystemText("mount --make-rprivate /");
        return QString();
    }();
    return Why;
}

} // namespace

THistoryImage SampleImage(unsigned seed)
{
    THistoryImage image;
    image.fill(HistoryMissing);
    std::mt19937 random(seed);
    const int records = 200 + static_cast<int>(seed % 7) * 300;
    for (int r = 0; r < records; ++r)
        for (int i = 0; i < HistoryRecordSize; ++i)
            image[(static_cast<std::size_t>(r) * HistoryRecordSize) + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(random() & 0xFF);
    return image;
}

QByteArray LowerCaseLfBytes(const THistoryImage& image, std::uint8_t quantity)
{
    static constexpr char Hex[] = "0123456789abcdef";
    QByteArray bytes;
    bytes.reserve(HistoryRecordCount * 17 + 2);
    for (int r = 0; r < HistoryRecordCount; ++r) {
        for (int i = 0; i < HistoryRecordSize; ++i) {
            const std::uint8_t b =
                image[(static_cast<std::size_t>(r) * HistoryRecordSize) + static_cast<std::size_t>(i)];
            bytes += Hex[b >> 4];
            bytes += Hex[b & 15];
        }
        bytes += '\n';
    }
    bytes += Hex[quantity >> 4];
    bytes += Hex[quantity & 15];
    return bytes;
}

QStringList HistoryTemporaries(const QString& folder)
{
    QStringList names =
        QDir(folder).entryList({QStringLiteral(".met.mtb.*.tmp")}, QDir::AllEntries | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

QStringList FolderEntries(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList OpenArchiveFiles()
{
    return {archive::ArchiveFileName, archive::ArchiveFileName + QStringLiteral("-shm"),
            archive::ArchiveFileName + QStringLiteral("-wal")};
}

TMountedFolder::TMountedFolder(const char* options)
{
    FWhy = EnterPrivateMounts();
    if (!FWhy.isEmpty())
        return;
    char path[] = "/tmp/meteo-safety-XXXXXX";
    if (::mkdtemp(path) == nullptr) {
        FWhy = SystemText("mkdtemp");
        return;
    }
    FPath = QString::fromLocal8Bit(path);
    if (::mount("tmpfs", path, "tmpfs", MS_NOSUID | MS_NODEV, options) != 0) {
        FWhy = SystemText("mount tmpfs");
        ::rmdir(path);
        FPath.clear();
        return;
    }
    FMounted = true;
}

TMountedFolder::~TMountedFolder()
{
    if (FPath.isEmpty())
        return;
    const QByteArray path = QFile::encodeName(FPath);
    if (FMounted)
        ::umount2(path.constData(), MNT_DETACH);
    ::rmdir(path.constData());
}

bool TMountedFolder::MakeReadOnly()
{
    return ::mount(nullptr, QFile::encodeName(FPath).constData(), nullptr,
                   MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

bool TMountedFolder::Fill(qint64 leaveBytes)
{
    const int fd = ::open(QFile::encodeName(File(QStringLiteral("filler"))).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const std::vector<char> chunk(65536, 'x');
    qint64 size = 0;
    for (;;) {
        const ssize_t written = ::write(fd, chunk.data(), chunk.size());
        if (written > 0) {
            size += written;
            continue;
        }
        break;
    }
    const bool full = errno == ENOSPC;
    const bool ok = full && size >= leaveBytes && ::ftruncate(fd, size - leaveBytes) == 0;
    ::close(fd);
    return ok;
}

QString ProgramPath()
{
    return QStringLiteral(METEOSTATION_PROGRAM);
}

QString DemoProgramPath()
{
    return QStringLiteral(METEOSTATION_DEMO_PROGRAM);
}

TProgram::TProgram(const QString& folder, const QString& preload)
    : TProgram(folder, TStart{ProgramPath(), preload, {}, {}})
{
}

TProgram::TProgram(const QString& folder, const TStart& start)
{
    const QByteArray program = QFile::encodeName(start.Program);
    const QString& preload = start.Preload;
    std::vector<std::string> environment;
    std::string asanOptions;
    auto replaced = [&start](const std::string& text) {
        for (const QString& entry : start.Environment) {
            const std::string name = entry.section(QLatin1Char('='), 0, 0).toStdString() + '=';
            if (text.rfind(name, 0) == 0)
                return true;
        }
        return false;
    };
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("QT_QPA_PLATFORM=", 0) == 0 || text.rfind("LD_PRELOAD=", 0) == 0 || replaced(text))
            continue;
        if (text.rfind("ASAN_OPTIONS=", 0) == 0) {
            asanOptions = text.substr(std::strlen("ASAN_OPTIONS="));
            continue;
        }
        environment.push_back(text);
    }
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    for (const QString& entry : start.Environment)
        environment.push_back(QFile::encodeName(entry).toStdString());
    if (!preload.isEmpty()) {
        environment.push_back("LD_PRELOAD=" + QFile::encodeName(preload).toStdString());
        // A sanitizer runtime wants to be the first library; the shim only wraps rename(2).
        asanOptions += (asanOptions.empty() ? "" : ":") + std::string("verify_asan_link_order=0");
    }
    if (!asanOptions.empty())
        environment.push_back("ASAN_OPTIONS=" + asanOptions);
    std::vector<char*> envp;
    for (std::string& text : environment)
        envp.push_back(text.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    const QByteArray where = QFile::encodeName(folder);
    ::posix_spawn_file_actions_addchdir_np(&actions, where.constData());
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const QByteArray errors =
        start.StandardErrorFile.isEmpty() ? QByteArray("/dev/null") : QFile::encodeName(start.StandardErrorFile);
    ::posix_spawn_file_actions_addopen(&actions, 2, errors.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* argv[] = {const_cast<char*>(program.constData()), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.constData(), &actions, nullptr, argv, envp.data()) == 0)
        Pid = pid;
    ::posix_spawn_file_actions_destroy(&actions);
}

TProgram::~TProgram()
{
    if (Pid > 0 && !Poll()) {
        ::kill(Pid, SIGKILL);
        Wait();
    }
}

bool TProgram::WaitWhileRunning(std::chrono::steady_clock::time_point deadline, const QString& procFile,
                                const std::function<bool(const QByteArray&)>& done)
{
    if (Pid <= 0)
        return false;
    const QString path = QStringLiteral("/proc/%1/%2").arg(Pid).arg(procFile);
    // The process tells nothing when it gets there: its /proc file is looked at until it does.
    while (std::chrono::steady_clock::now() < deadline) {
        if (Poll())
            return false;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && done(file.readAll()))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

bool TProgram::WaitUntilReady(std::chrono::milliseconds timeout)
{
    const unsigned long long termBit = 1ull << (SIGTERM - 1);
    return WaitWhileRunning(
        std::chrono::steady_clock::now() + timeout, QStringLiteral("status"), [termBit](const QByteArray& status) {
            for (const QByteArray& line : status.split('\n'))
                if (line.startsWith("SigCgt:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) & termBit) != 0)
                    return true;
            return false;
        });
}

bool TProgram::WaitUntilStarted(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    return WaitUntilReady(timeout) && WaitWhileRunning(deadline, QStringLiteral("maps"), [](const QByteArray& maps) {
               return maps.contains("meteostation-publishing");
           });
}

void TProgram::Signal(int signal)
{
    if (Pid > 0 && !Status)
        ::kill(Pid, signal);
}

std::optional<int> TProgram::Poll()
{
    if (Pid <= 0 || Status)
        return Status;
    int status = 0;
    const pid_t ended = ::waitpid(Pid, &status, WNOHANG);
    if (ended == Pid)
        Status = status;
    return Status;
}

std::optional<int> TProgram::Wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Poll()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return Status;
}

} // namespace safety
