// The request per service; see request_builder.h. Field order follows each service's own
// examples; temperatures go with one decimal, humidity whole, inches of mercury with three.
#include "publish/networks/request_builder.h"

#include "publish/networks/cwop_packet.h"
#include "publish/networks/narodmon_packet.h"
#include "publish/networks/query_text.h"
#include "publish/networks/software_identity.h"
#include "publish/networks/url_template.h"

namespace publish {

namespace {

QUrl WithQuery(QUrl url, const TQuery& query)
{
    const QByteArray given = url.query(QUrl::FullyEncoded).toLatin1();
    url.setQuery(QString::fromLatin1(given.isEmpty() ? query.Text() : given + '&' + query.Text()), QUrl::StrictMode);
    return url;
}

TOutgoingRequest HttpRequest(QUrl url)
{
    TOutgoingRequest request;
    request.Url = std::move(url);
    request.Readings = 1;
    return request;
}

// Weather Underground, PWSweather and WOW read the same fields under their own names for the
// station and key; only Weather Underground has indoor fields.
struct TWundergroundNames
{
    const char* Id;
    const char* Key;
    bool Action;
    bool Indoor;
};

TWundergroundNames NamesOf(TServiceKind kind)
{
    switch (kind) {
    case TServiceKind::Wow:
        return {"siteid", "siteAuthenticationKey", false, false};
    case TServiceKind::PwsWeather:
        return {"ID", "PASSWORD", true, false};
    default:
        return {"ID", "PASSWORD", true, true};
    }
}

TOutgoingRequest WundergroundStyle(const TServiceSettings& settings, const QUrl& endpoint,
                                   const TPublishedValues& values)
{
    const TWundergroundNames names = NamesOf(settings.Kind);
    TQuery query;
    query.Add(names.Id, settings.StationId).Add(names.Key, settings.Key).Add("dateutc", DateUtcText(values.Time));
    if (names.Action)
        query.Add("action", QStringLiteral("updateraw"));
    query.Add("softwaretype", SoftwareType())
        .Add("tempf", values.OutdoorF(), 1)
        .Add("humidity", values.OutdoorHumidity, 0)
        .Add("dewptf", values.DewPointF(), 1)
        .Add("baromin", values.SeaLevelInHg(), 3);
    if (names.Indoor)
        query.Add("indoortempf", values.IndoorF(), 1).Add("indoorhumidity", values.IndoorHumidity, 0);
    return HttpRequest(WithQuery(endpoint, query));
}

// The station password goes in the Authorization header, which keeps it out of the address.
TOutgoingRequest Windy(const TServiceSettings& settings, const QUrl& endpoint, const TPublishedValues& values)
{
    TQuery query;
    query.Add("id", settings.StationId)
        .Add("time", IsoUtcText(values.Time))
        .Add("temp", values.OutdoorC, 1)
        .Add("humidity", values.OutdoorHumidity, 0)
        .Add("dewpoint", values.DewPointC, 1)
        .Add("pressure", values.SeaLevelPa(), 0)
        .Add("softwaretype", SoftwareType());
    TOutgoingRequest request = HttpRequest(WithQuery(endpoint, query));
    request.Headers.append({"Authorization", "Bearer " + settings.Key.toUtf8()});
    return request;
}

TOutgoingRequest NarodmonGet(const TServiceSettings& settings, const QUrl& endpoint, const TPublishedValues& values)
{
    TQuery query;
    query.Add("ID", settings.StationId);
    for (const auto& [id, value] : NarodmonSensors(values))
        query.Add(id, QString::fromLatin1(value));
    query.Add("time", QString::number(values.Time.toSecsSinceEpoch()));
    return HttpRequest(WithQuery(endpoint, query));
}

} // namespace

TOutgoingRequest BuildRequest(const TServiceSettings& settings, const TPublishSettings& common, const QUrl& endpoint,
                              std::span<const TPublishedValues> readings)
{
    const TPublishedValues& first = readings.front();
    switch (settings.Kind) {
    case TServiceKind::NarodmonTcp:
        return NarodmonPacket(settings.StationId, endpoint, readings);
    case TServiceKind::NarodmonHttp:
        return NarodmonGet(settings, endpoint, first);
    case TServiceKind::Windy:
        return Windy(settings, endpoint, first);
    case TServiceKind::Cwop:
        return CwopPacket(settings.StationId, settings.Key, common.Place, endpoint, first);
    case TServiceKind::OwnAddress:
        return HttpRequest(ExpandTemplate(settings.UrlTemplate, settings.StationId, settings.Key, first));
    default:
        return WundergroundStyle(settings, endpoint, first);
    }
}

} // namespace publish
