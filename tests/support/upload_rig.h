// What the upload tests and benchmark share: the stand-ins for every service on 127.0.0.1,
// readings and queue positions in memory, a clock the test moves, the real network exchange, and
// an uploader per service pointed at its stand-in.
#pragma once

#include "publish/networks/memory_queue.h"
#include "publish/networks/network_exchange.h"
#include "publish/networks/service_uploader.h"
#include "tests/support/fake_upload_clock.h"
#include "tests/support/network_stand_in.h"
#include "tests/support/test_support.h"

#include <memory>

namespace uploadtest {

using namespace publish;
using testsupport::THttpStandIn;
using testsupport::TStandInReply;
using testsupport::TTcpStandIn;

inline const QDateTime Start(QDate(2026, 1, 31), QTime(12, 34, 56), Qt::UTC);
// A key with everything that needs percent-encoding.
inline const QString AwkwardKey = QStringLiteral("p&ss w=rd/ü+%");

// The reading of the golden requests: a frost, all four values.
inline TPublishReading FrostReading(const QDateTime& time = Start)
{
    return {time, 22.0, -12.3, 745.0, 85.0};
}

// The reply with which each service takes a reading.
inline TStandInReply Accepting(TServiceKind kind)
{
    switch (kind) {
    case TServiceKind::Wow:
        return {200, "{}", {}, false};
    case TServiceKind::Windy:
        return {200, "", {}, false};
    case TServiceKind::NarodmonHttp:
        return {200, "OK", {}, false};
    default:
        return {200, "success", {}, false};
    }
}

struct TUploadRig
{
    explicit TUploadRig(int timeoutMs = publish::DefaultExchangeTimeoutMs)
        : Exchange(timeoutMs)
    {
        Common.Place.Latitude = 55.7353;
        Common.Place.Longitude = 37.6160;
    }

    TServiceSettings SettingsFor(TServiceKind kind)
    {
        TServiceSettings settings;
        settings.Kind = kind;
        settings.StationId = QStringLiteral("KXXCITY12");
        settings.Key = AwkwardKey;
        switch (kind) {
        case TServiceKind::NarodmonTcp:
            settings.StationId = QStringLiteral("47-6A-37-19-01-90");
            settings.EndpointOverride = Narodmon.Url();
            break;
        case TServiceKind::NarodmonHttp:
            settings.StationId = QStringLiteral("47-6A-37-19-01-90");
            settings.EndpointOverride = Http.Url(QStringLiteral("/get"));
            break;
        case TServiceKind::Cwop:
            settings.StationId = QStringLiteral("CW1234");
            settings.Key.clear();
            settings.EndpointOverride = Aprs.Url();
            break;
        case TServiceKind::OwnAddress:
            settings.UrlTemplate = Http.Url(QStringLiteral("/wx?st={id}&k={key}&t={tempc}&in={indoortempc}"
                                                           "&h={humidity}&p={hpa}&at={dateutc}"));
            break;
        default:
            settings.EndpointOverride = Http.Url(QStringLiteral("/update"));
            break;
        }
        return settings;
    }

    std::unique_ptr<TServiceUploader> Uploader(const TServiceSettings& settings)
    {
        auto uploader =
            std::make_unique<TServiceUploader>(settings, Common, TUploaderParts{Source, Positions, Exchange, Clock});
        uploader->Start();
        return uploader;
    }
    std::unique_ptr<TServiceUploader> Uploader(TServiceKind kind) { return Uploader(SettingsFor(kind)); }

    // Lets the next alarm come and waits until the attempt it starts has its outcome.
    static bool Idle(const TServiceUploader& uploader)
    {
        return uploader.State().NextAttempt.isValid() || uploader.State().Stopped;
    }
    bool Step(const TServiceUploader& uploader)
    {
        return Clock.RunNextAlarm() && testsupport::PumpUntil([&] { return Idle(uploader); });
    }

    // Requests and packets the stand-ins took, of every kind.
    qsizetype Received() const { return Http.Requests.size() + Narodmon.Sessions.size() + Aprs.Sessions.size(); }

    testsupport::TFakeUploadClock Clock{Start};
    TMemoryReadingSource Source;
    TMemoryPositionStore Positions;
    TNetworkExchange Exchange;
    THttpStandIn Http;
    TTcpStandIn Narodmon{TTcpStandIn::TRole::Narodmon};
    TTcpStandIn Aprs{TTcpStandIn::TRole::AprsIs};
    TPublishSettings Common;
};

} // namespace uploadtest
