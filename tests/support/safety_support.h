// What the data-safety tests share: a small file system of their own (tmpfs in a private mount
// namespace, so nothing is seen outside this test program), the real program started in a
// folder, and the two spellings of one history image that tell an old "met.mtb" from a new one.
#pragma once

#include "core/history_state.h"
#include "tests/support/test_support.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <sys/types.h>

namespace safety {

// A history image with some records, different for different seeds.
THistoryImage SampleImage(unsigned seed);

// The image as an older or hand-made "met.mtb" may hold it: lower-case hex and LF line ends.
// The program reads it as the same image and quantity, and saves them in the canonical form.
QByteArray LowerCaseLfBytes(const THistoryImage& image, std::uint8_t quantity);

// Names of the replacement temporaries of "met.mtb" in `folder`.
QStringList HistoryTemporaries(const QString& folder);

// Every entry of `folder`, hidden ones included, sorted.
QStringList FolderEntries(const QString& folder);

// The weather archive beside "met.mtb" while a window has it open: the file, its journal and the
// journal's index. A window that closed leaves the file alone.
QStringList OpenArchiveFiles();

// A tmpfs of `options` (e.g. "size=1m") mounted on a fresh folder, seen only by this test
// program's main thread (a private mount namespace, entered once). Unmounted and removed in the
// destructor. When the namespace or the mount is not possible, Mounted() is false and Why() says
// why.
class TMountedFolder
{
public:
    explicit TMountedFolder(const char* options);
    ~TMountedFolder();
    TMountedFolder(const TMountedFolder&) = delete;
    TMountedFolder& operator=(const TMountedFolder&) = delete;

    bool Mounted() const { return FMounted; }
    QString Why() const { return FWhy; }
    QString Path() const { return FPath; }
    QString File(const QString& name) const { return FPath + QLatin1Char('/') + name; }
    // Makes the mount read-only; false on failure.
    bool MakeReadOnly();
    // Fills the free room with a file "filler", then gives back `leaveBytes` of it; false on failure.
    bool Fill(qint64 leaveBytes);

private:
    QString FPath;
    QString FWhy;
    bool FMounted = false;
};

// The paths of the real program and of the demo in this build.
QString ProgramPath();
QString DemoProgramPath();

// How a program is started.
struct TStart
{
    QString Program = ProgramPath();
    QString Preload;           // a library for LD_PRELOAD, or empty
    QStringList Environment;   // "NAME=value" entries added to this test program's own
    QString StandardErrorFile; // where its standard error goes; nowhere when empty
};

// A program running offscreen in a folder, its output discarded.
class TProgram
{
public:
    // `preload`: a library for LD_PRELOAD, or empty.
    TProgram(const QString& folder, const QString& preload = {});
    TProgram(const QString& folder, const TStart& start);
    ~TProgram(); // kills the program if it still runs
    TProgram(const TProgram&) = delete;
    TProgram& operator=(const TProgram&) = delete;

    bool Started() const { return Pid > 0; }
    // Waits until the program catches SIGTERM (its window is up and a SIGTERM closes it); false
    // when it does not within the time or has ended.
    bool WaitUntilReady(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits until the rest of its start is done as well (the archive opened, the copy imported):
    // the window loads its publishing module last, so the module is mapped by then. For programs
    // with the module beside them.
    bool WaitUntilStarted(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    void Signal(int signal);
    // The wait status once the program has ended; none when it still runs after `timeout`.
    std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // The status if the program has ended already; none otherwise.
    std::optional<int> Poll();

private:
    // Until `done` holds for the program's /proc/<pid>/`procFile`; false when it ends first or the
    // deadline passes.
    bool WaitWhileRunning(std::chrono::steady_clock::time_point deadline, const QString& procFile,
                          const std::function<bool(const QByteArray&)>& done);

    pid_t Pid = -1;
    std::optional<int> Status;
};

} // namespace safety
