// The web page's server as the main thread sees it: started and stopped with its settings, handed
// each reading, the station's state and the outlook's lines. All its work runs on a thread of its
// own with a read-only connection to the archive, so a request never waits for the main thread
// and the main thread waits for no request: the calls only hand their copy to that thread (Start
// and Stop wait for the listening socket to open or close, nothing more). Nothing it does can
// change the station, the archive or a setting.
#pragma once

#include "base/station_reading.h"
#include "web/web_api.h"
#include "web/web_service.h"
#include "web/web_settings.h"

#include <QObject>
#include <QString>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace web {

using TWebLinkState = base::TStationPresence;

// «подключена», «нет данных», «отключена».
QString LinkStateText(TWebLinkState state);

class TWebServer;

// The server thread's end of the hand-over: the one slot the main thread posts to, through its meta
// method, so that Qt makes and frees the posted call and it carries nothing of ours. Thread checkers
// do not see Qt's event queue: what goes across waits in the server's queue under its mutex instead.
class TWebThreadAnchor : public QObject
{
    Q_OBJECT
public:
    explicit TWebThreadAnchor(TWebServer& server)
        : FServer(server)
    {
    }
    Q_INVOKABLE void Drain();

private:
    TWebServer& FServer;
};

class TWebServer
{
public:
    // `archivePath`: the archive the store keeps (TArchiveStore::Path()), read through a connection
    // of the server's own.
    explicit TWebServer(const QString& archivePath);
    ~TWebServer();
    TWebServer(const TWebServer&) = delete;
    TWebServer& operator=(const TWebServer&) = delete;

    // Starts (or restarts) the server with `settings`; a server not enabled is only stopped. The
    // problem says why it could not start, e.g. «Порт 8080 уже занят другой программой».
    TWebStartResult Start(const TWebSettings& settings);
    void Stop();
    // The archive the next Start reads (a data folder's archive is known only once it is opened).
    void SetArchivePath(const QString& archivePath) { FArchivePath = archivePath; }
    bool IsRunning() const { return FService != nullptr; }
    quint16 Port() const { return FPort; }

    void TakeReading(const base::TStationReading& reading);
    void TakeLinkState(TWebLinkState state);
    void TakeOutlook(const QString& trend, const QString& forecast);

private:
    friend class TWebThreadAnchor;

    void SendCurrent();
    // On the server's thread: runs the calls, hands the service what the page shows, and lets go
    // of the server for good when it is to stop.
    void Drain();
    // Under FMutex: the server's thread drains the queue soon (one post serves many hand-overs).
    void PostDrain();
    // Runs `call` on the server's thread and waits for it: the main thread has one such call at a
    // time (the start of the listening).
    void RunThere(std::function<void()> call);

    QString FArchivePath;
    TWebCurrent FCurrent; // kept here too, so a restarted server starts with it
    std::unique_ptr<QThread> FThread;
    std::unique_ptr<TWebThreadAnchor> FAnchor; // lives on the thread: the drains are posted to it
    TWebService* FService = nullptr;           // made, used and deleted on the thread
    quint16 FPort = 0;
    // Everything the main thread hands the server's thread goes through this queue. What the page
    // shows, each change in order, waits until that thread takes it all at once: a burst of
    // readings wakes the thread once, not once a reading.
    std::mutex FMutex;
    std::condition_variable FDone;     // the call ran, or the thread let go
    std::function<void()> FCall;       // under FMutex: RunThere's, until the thread takes it
    std::vector<TWebCurrent> FWaiting; // under FMutex
    bool FCallDone = false;            // under FMutex
    bool FDrainPosted = false;         // under FMutex: a drain is on its way or running
    bool FThreadStarted = false;       // under FMutex: its event loop can be woken
    bool FStopWanted = false;          // under FMutex
    bool FLetGo = false;               // under FMutex: the thread touches the server no more
};

} // namespace web
