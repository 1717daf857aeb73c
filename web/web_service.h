// The web page's server on its own thread: the requests the guarded TCP server reads, the fixed
// routes, the live stream's clients and the read-only archive connection. Made, used and deleted
// on that thread only (TWebServer hands it the main thread's calls).
#pragma once

#include "web/web_access.h"
#include "web/web_api.h"
#include "web/web_connections.h"
#include "web/web_http.h"
#include "web/web_request.h"
#include "web/web_settings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <vector>

namespace web {

struct TWebStartResult
{
    bool Ok = false;
    QString Problem; // Russian, for the user; empty when Ok
    quint16 Port = 0;
};

class TWebService : public QObject
{
    Q_OBJECT

public:
    TWebService(const QString& archivePath, const TWebCurrent& current);
    ~TWebService() override;

    TWebStartResult Listen(const TWebSettings& settings);
    // What the page shows, each change in order (the last one is now); all go out to the live
    // stream's clients at once, in one write to each.
    void TakeCurrents(const std::vector<TWebCurrent>& currents);

private:
    using THandler = TWebResponse (TWebService::*)(const QUrlQuery& query);
    struct TRoute
    {
        const char* Path;
        THandler Handler;
    };
    static const std::vector<TRoute>& Routes();

    // Every request is answered here, on its socket, which the answer closes (a live stream's when it ends).
    void Take(const TWebRequest& request, QTcpSocket* socket);
    // The answer to a request that may read: the code checked, then the route's.
    TWebResponse Answer(const TWebRequest& request, bool& stream);
    // A redirect that keeps the code as a cookie and drops it from the address, or the code's page.
    std::optional<TWebResponse> AccessAnswer(const TWebRequest& request);
    void StartStream(QTcpSocket* socket);
    void SendToStreams(const QByteArray& bytes);
    archive::TArchiveReader& Reader();

    TWebResponse Page(const QString& resource, const QByteArray& type) const;
    TWebResponse NowPage(const QUrlQuery&) { return Page(QStringLiteral("index.html"), "text/html; charset=utf-8"); }
    TWebResponse ArchivePage(const QUrlQuery&)
    {
        return Page(QStringLiteral("archive.html"), "text/html; charset=utf-8");
    }
    TWebResponse RecordsPage(const QUrlQuery&)
    {
        return Page(QStringLiteral("records.html"), "text/html; charset=utf-8");
    }
    TWebResponse Style(const QUrlQuery&) { return Page(QStringLiteral("style.css"), "text/css; charset=utf-8"); }
    TWebResponse Icon(const QUrlQuery&) { return Page(QStringLiteral("meteostation.svg"), "image/svg+xml"); }
    TWebResponse Script(const QString& name) const { return Page(name, "text/javascript; charset=utf-8"); }
    TWebResponse CommonScript(const QUrlQuery&) { return Script(QStringLiteral("common.js")); }
    TWebResponse NowScript(const QUrlQuery&) { return Script(QStringLiteral("now.js")); }
    TWebResponse ArchiveScript(const QUrlQuery&) { return Script(QStringLiteral("archive.js")); }
    TWebResponse RecordsScript(const QUrlQuery&) { return Script(QStringLiteral("records.js")); }
    TWebResponse Current(const QUrlQuery&) { return JsonResponse(CurrentJson(FCurrent)); }
    TWebResponse Hours(const QUrlQuery& query) { return HoursAnswer(Reader(), query); }
    TWebResponse Samples(const QUrlQuery& query) { return SamplesAnswer(Reader(), query); }
    TWebResponse Chart(const QUrlQuery& query) { return ChartAnswer(Reader(), query); }
    TWebResponse Records(const QUrlQuery&) { return RecordsAnswer(Reader()); }
    TWebResponse MonthSummary(const QUrlQuery& query);
    TWebResponse YearSummary(const QUrlQuery& query);

    QString FArchivePath;
    std::unique_ptr<archive::TArchiveReader> FReader;
    TWebCurrent FCurrent;
    TCodeAttempts FCodeAttempts;
    QElapsedTimer FClock; // for the code attempts' window
    TWebSettings FSettings;
    TWebTcpServer* FTcp = nullptr;
    std::vector<QPointer<QTcpSocket>> FStreams;
    QTimer FHeartbeat;
};

} // namespace web
