#include "web/web_server.h"

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

void TWebServer::RunThere(const std::function<void()>& call)
{
    QMetaObject::invokeMethod(FAnchor.get(), call, Qt::BlockingQueuedConnection);
}

TWebStartResult TWebServer::Start(const TWebSettings& settings)
{
    Stop();
    if (!settings.Enabled)
        return {true, {}, 0};
    FThread = std::make_unique<QThread>();
    FThread->setObjectName(QStringLiteral("web server"));
    FAnchor = std::make_unique<QObject>();
    FAnchor->moveToThread(FThread.get());
    FThread->start();
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
    if (FService != nullptr) {
        // Its sockets and timers belong to the thread: they go there, before it ends.
        TWebService* service = FService;
        RunThere([service] { delete service; });
        FService = nullptr;
    }
    FThread->quit();
    FThread->wait();
    FAnchor.reset();
    FThread.reset();
    FPort = 0;
    // None are left once the thread has ended; the next server starts afresh.
    FWaiting.clear();
    FDelivering = false;
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
    bool wake = false;
    {
        const std::lock_guard lock(FWaitingMutex);
        FWaiting.push_back(FCurrent);
        wake = !FDelivering;
        FDelivering = true;
    }
    // Posted before any Stop's deletion of the service, so it runs while the service is there.
    if (wake)
        QMetaObject::invokeMethod(
            FAnchor.get(), [this, service = FService] { DeliverWaiting(*service); }, Qt::QueuedConnection);
}

void TWebServer::DeliverWaiting(TWebService& service)
{
    std::vector<TWebCurrent> waiting;
    {
        const std::lock_guard lock(FWaitingMutex);
        if (FWaiting.empty()) {
            FDelivering = false;
            return;
        }
        waiting.swap(FWaiting);
    }
    service.TakeCurrents(waiting);
    // What comes meanwhile is taken after the sockets' turn, without a post from the main thread.
    QMetaObject::invokeMethod(
        FAnchor.get(), [this, &service] { DeliverWaiting(service); }, Qt::QueuedConnection);
}

} // namespace web
