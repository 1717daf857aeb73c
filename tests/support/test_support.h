// What several test programs need: running the event loop until something has happened, a fresh
// current folder for each test (the program keeps "met.mtb" and writes "met.txt" there), and whole
// files read and written in one call.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

namespace testsupport {

// How long a test waits for what it expects: far beyond need, so a busy machine never fails a
// test; every wait ends as soon as the event has come.
inline constexpr int EventDeadlineMs = 10000;

// Runs the event loop, and with it the read threads' hand-overs to the main thread, until `done`
// holds; false when it still does not after `timeoutMs`.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = EventDeadlineMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// Runs the event loop until everything posted to the main thread before the call has been
// delivered: a call queued now runs after all of it. For checks that something did not happen.
inline bool PumpPosted(int timeoutMs = EventDeadlineMs)
{
    const auto reached = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [reached] { *reached = true; }, Qt::QueuedConnection);
    return PumpUntil([reached] { return *reached; }, timeoutMs);
}

// An empty temporary folder made the current one for the object's lifetime; the folder that was
// current before is current again afterwards. Check Entered() before relying on it.
class TFreshCurrentFolder
{
public:
    TFreshCurrentFolder()
        : Previous(QDir::currentPath())
        , FEntered(Folder.isValid() && QDir::setCurrent(Folder.path()))
    {
    }
    ~TFreshCurrentFolder() { QDir::setCurrent(Previous); }
    TFreshCurrentFolder(const TFreshCurrentFolder&) = delete;
    TFreshCurrentFolder& operator=(const TFreshCurrentFolder&) = delete;

    bool Entered() const { return FEntered; }
    QString Path() const { return Folder.path(); }

private:
    QTemporaryDir Folder;
    QString Previous;
    bool FEntered;
};

// The whole file; empty when it cannot be read.
inline QByteArray ReadFileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Creates or replaces the file with `bytes`; false when that failed.
inline bool WriteFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace testsupport

// Readable texts in the tests' failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
