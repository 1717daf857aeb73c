// The weather networks' settings in "publish.ini"; see networks_file.h.
#include "publish/networks/networks_file.h"

#include "os/file_access.h"
#include "publish/publish_file.h"

namespace publish {

namespace {

const QString CommonGroup = QStringLiteral("networks");

QString Group(TServiceKind kind)
{
    return QLatin1String(Facts(kind).PositionKey);
}

bool ReadBool(const QSettings& file, const QString& key)
{
    const QString text = file.value(key).toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

std::optional<double> ReadNumber(const QSettings& file, const QString& key)
{
    bool ok = false;
    const double value = file.value(key).toString().trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

} // namespace

std::vector<TNetworkEntry> LoadNetworkEntries(const QString& dataFolder)
{
    const QSettings file = OpenPublishFile(dataFolder);
    // An address sends the service's key and the readings wherever it points: one that another
    // user could have put in the file is not taken.
    const QString othersMayChange = os::OthersMayChangeReason(PublishFilePath(dataFolder));
    std::vector<TNetworkEntry> entries;
    for (const TServiceKind kind : AllServices()) {
        if (kind == TServiceKind::NarodmonHttp)
            continue; // one block for narodmon, by either protocol
        const QString group = Group(kind) + QLatin1Char('/');
        TNetworkEntry entry;
        entry.Settings.Kind = kind;
        if (kind == TServiceKind::NarodmonTcp &&
            file.value(group + QStringLiteral("protocol")).toString().trimmed().toLower() == QLatin1String("http"))
            entry.Settings.Kind = TServiceKind::NarodmonHttp;
        entry.Enabled = ReadBool(file, group + QStringLiteral("enabled"));
        entry.Settings.StationId = file.value(group + QStringLiteral("station_id")).toString();
        entry.Settings.IntervalMinutes = file.value(group + QStringLiteral("interval_minutes")).toInt();
        entry.Settings.EndpointOverride = file.value(group + QStringLiteral("address")).toString();
        if (!othersMayChange.isEmpty() && !entry.Settings.EndpointOverride.trimmed().isEmpty()) {
            entry.Settings.EndpointOverride.clear();
            entry.AddressRefusal = QStringLiteral("Адрес сервиса в «%1» не принят: %2.")
                                       .arg(QLatin1String(PublishFileName), othersMayChange);
        }
        entry.Settings.UrlTemplate = file.value(group + QStringLiteral("url_template")).toString();
        entries.push_back(entry);
    }
    return entries;
}

TPublishSettings LoadNetworksCommon(const QString& dataFolder)
{
    const QSettings file = OpenPublishFile(dataFolder);
    TPublishSettings common;
    const QString group = CommonGroup + QLatin1Char('/');
    if (file.value(group + QStringLiteral("humidity")).toString().trimmed() == QLatin1String("outdoor"))
        common.HumidityPlace = THumidityPlace::Outdoor;
    common.Place.Latitude = ReadNumber(file, group + QStringLiteral("latitude"));
    common.Place.Longitude = ReadNumber(file, group + QStringLiteral("longitude"));
    return common;
}

QString SaveNetworkEntry(const QString& dataFolder, const TNetworkEntry& entry)
{
    QSettings file = OpenPublishFile(dataFolder);
    const TServiceSettings& settings = entry.Settings;
    const QString group = Group(settings.Kind) + QLatin1Char('/');
    file.setValue(group + QStringLiteral("enabled"), entry.Enabled);
    if (settings.Kind == TServiceKind::NarodmonTcp || settings.Kind == TServiceKind::NarodmonHttp)
        file.setValue(group + QStringLiteral("protocol"),
                      settings.Kind == TServiceKind::NarodmonHttp ? QStringLiteral("http") : QStringLiteral("tcp"));
    file.setValue(group + QStringLiteral("station_id"), settings.StationId);
    file.setValue(group + QStringLiteral("interval_minutes"), settings.IntervalMinutes);
    file.setValue(group + QStringLiteral("address"), settings.EndpointOverride);
    if (settings.Kind == TServiceKind::OwnAddress)
        file.setValue(group + QStringLiteral("url_template"), settings.UrlTemplate);
    return SyncPublishFile(file);
}

QString SaveNetworksCommon(const QString& dataFolder, const TPublishSettings& common)
{
    QSettings file = OpenPublishFile(dataFolder);
    const QString group = CommonGroup + QLatin1Char('/');
    file.setValue(group + QStringLiteral("humidity"),
                  common.HumidityPlace == THumidityPlace::Outdoor ? QStringLiteral("outdoor")
                                                                  : QStringLiteral("indoor"));
    const auto number = [](const std::optional<double>& value) {
        return value ? QString::number(*value, 'f', 6) : QString();
    };
    file.setValue(group + QStringLiteral("latitude"), number(common.Place.Latitude));
    file.setValue(group + QStringLiteral("longitude"), number(common.Place.Longitude));
    return SyncPublishFile(file);
}

QString SecretName(TServiceKind kind, const QString& stationId)
{
    return Group(kind) + QStringLiteral("-key/") + stationId;
}

} // namespace publish
