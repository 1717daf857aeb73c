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
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace web {

using TWebLinkState = base::TStationPresence;

// «подключена», «нет данных», «отключена».
QString LinkStateText(TWebLinkState state);

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
    void SendCurrent();
    // Hands the service what waits for it (on the server's thread).
    void DeliverWaiting(TWebService& service);
    // Runs `call` on the server's thread and waits for it.
    void RunThere(const std::function<void()>& call);

    QString FArchivePath;
    TWebCurrent FCurrent; // kept here too, so a restarted server starts with it
    std::unique_ptr<QThread> FThread;
    std::unique_ptr<QObject> FAnchor; // lives on the thread: the calls are posted to it
    TWebService* FService = nullptr;  // made, used and deleted on the thread
    quint16 FPort = 0;
    // What the page shows, each change in order, until the server's thread takes them all at once:
    // a burst of readings wakes that thread once, not once a reading. Delivering: a post is on its
    // way or the thread is sending, and looks at the queue again before it stops.
    std::mutex FWaitingMutex;
    std::vector<TWebCurrent> FWaiting; // under FWaitingMutex
    bool FDelivering = false;          // under FWaitingMutex
};

} // namespace web
