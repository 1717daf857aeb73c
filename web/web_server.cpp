#include "web/web_server.h"

#include <QMetaMethod>

namespace web {

QString LinkStateText(TWebLinkState state)
{
    switch (state) {
    case TWebLinkState::Connected:
        return QStringLiteral("подключена");
    case TWebLinkState::NoData:
        return QStringLiteral("нет данных");
    case TWebLinkState::Disconnected:
        break;
    }
    return QStringLiteral("отключена");
}

TWebServer::TWebServer(const QString& archivePath)
    : FArchivePath(archivePath)
{
    FCurrent.State = LinkStateText(TWebLinkState::Disconnected);
}

TWebServer::~TWebServer()
{
    Stop();
}

void TWebThreadAnchor::Drain()
{
    FServer.Drain();
}

void TWebServer::PostDrain()
{
    if (FDrainPosted)
        return;
    FDrainPosted = true;
    // Looked up once: a post for every reading must not look the name up each time.
    static const QMetaMethod drain =
        TWebThreadAnchor::staticMetaObject.method(TWebThreadAnchor::staticMetaObject.indexOfMethod("Drain()"));
    drain.invoke(FAnchor.get(), Qt::QueuedConnection);
}

void TWebServer::RunThere(std::function<void()> call)
{
    std::unique_lock lock(FMutex);
    FCall = std::move(call);
    FCallDone = false;
    PostDrain();
    FDone.wait(lock, [this] { return FCallDone; });
}

TWebStartResult TWebServer::Start(const TWebSettings& settings)
{
    Stop();
    if (!settings.Enabled)
        return {true, {}, 0};
    FThread = std::make_unique<QThread>();
    FThread->setObjectName(QStringLiteral("web server"));
    FAnchor = std::make_unique<TWebThreadAnchor>(*this);
    FAnchor->moveToThread(FThread.get());
    // The first post wakes the thread's event loop, whose wakeup descriptor the thread makes as it
    // starts: it waits until the thread says so under our mutex, which orders the two for thread
    // checkers (Qt's own start-up handshake is invisible to them).
    QObject::connect(
        FThread.get(), &QThread::started, FThread.get(),
        [this] {
            const std::lock_guard lock(FMutex);
            FThreadStarted = true;
            FDone.notify_all();
        },
        Qt::DirectConnection);
    FThread->start();
    {
        std::unique_lock lock(FMutex);
        FDone.wait(lock, [this] { return FThreadStarted; });
    }
    TWebStartResult result;
    const TWebCurrent current = FCurrent;
    RunThere([&] {
        auto service = std::make_unique<TWebService>(FArchivePath, current);
        result = service->Listen(settings);
        if (result.Ok)
            FService = service.release();
    });
    if (!result.Ok) {
        Stop();
        return result;
    }
    FPort = result.Port;
    return result;
}

void TWebServer::Stop()
{
    if (!FThread)
        return;
    {
        // The thread deletes the service (its sockets and timers belong there) and then touches
        // nothing of ours: past this wait the thread may end and the server go.
        std::unique_lock lock(FMutex);
        FStopWanted = true;
        PostDrain();
        FDone.wait(lock, [this] { return FLetGo; });
        FCall = nullptr;
        FWaiting.clear();
        FDrainPosted = false;
        FStopWanted = false;
        FLetGo = false;
        FThreadStarted = false;
    }
    FThread->wait();
    FAnchor.reset();
    FThread.reset();
    FPort = 0;
}

void TWebServer::TakeReading(const base::TStationReading& reading)
{
    FCurrent.Reading = reading;
    SendCurrent();
}

void TWebServer::TakeLinkState(TWebLinkState state)
{
    const QString text = LinkStateText(state);
    if (text == FCurrent.State)
        return;
    FCurrent.State = text;
    SendCurrent();
}

void TWebServer::TakeOutlook(const QString& trend, const QString& forecast)
{
    if (trend == FCurrent.Trend && forecast == FCurrent.Forecast)
        return;
    FCurrent.Trend = trend;
    FCurrent.Forecast = forecast;
    SendCurrent();
}

void TWebServer::SendCurrent()
{
    if (FService == nullptr)
        return;
    const std::lock_guard lock(FMutex);
    FWaiting.push_back(FCurrent);
    PostDrain();
}

void TWebServer::Drain()
{
    std::function<void()> call;
    std::vector<TWebCurrent> waiting;
    bool stop = false;
    {
        const std::lock_guard lock(FMutex);
        call.swap(FCall);
        waiting.swap(FWaiting);
        stop = FStopWanted;
        // Nothing came since the last drain: the next hand-over posts again.
        if (!call && waiting.empty() && !stop) {
            FDrainPosted = false;
            return;
        }
    }
    if (call) {
        call();
        const std::lock_guard lock(FMutex);
        FCallDone = true;
        FDone.notify_all();
    }
    if (FService != nullptr && !waiting.empty())
        FService->TakeCurrents(waiting);
    const std::lock_guard lock(FMutex);
    if (stop) {
        delete FService;
        FService = nullptr;
        // The thread ends its own loop: a quit from the main thread would write the loop's wakeup
        // descriptor while the ending thread closes it, unordered for thread checkers.
        QThread::currentThread()->quit();
        FLetGo = true;
        FDone.notify_all();
        return;
    }
    // One more drain after the sockets' turn takes what comes meanwhile: a reading a millisecond
    // then costs the main thread no post while the thread is busy sending.
    FDrainPosted = false;
    PostDrain();
}

} // namespace web
