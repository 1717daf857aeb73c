// Topics and payloads of the MQTT publisher.
#include "publish/mqtt/mqtt_messages.h"

#include "weather/units.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <optional>

namespace publish {
namespace {

// One entity of the device: the key of its value in the state, how home automation classes it.
struct TQuantityEntity
{
    const char* ObjectId; // also the value's key in the state
    const char* Name;
    const char* DeviceClass;
    const char* Unit;
};

constexpr TQuantityEntity Entities[] = {
    {"indoor_temperature", "Температура в доме", "temperature", "°C"},
    {"outdoor_temperature", "Температура на улице", "temperature", "°C"},
    {"pressure_mmhg", "Атмосферное давление", "atmospheric_pressure", "mmHg"},
    {"humidity", "Относительная влажность", "humidity", "%"},
};

QString Prefixed(const QString& prefix, const QString& stationId, const char* leaf)
{
    return prefix + QLatin1Char('/') + stationId + QLatin1Char('/') + QLatin1String(leaf);
}

QByteArray ConfigTopic(const TMqttSettings& settings, const QString& stationId, const TQuantityEntity& entity)
{
    return (settings.DiscoveryPrefix + QStringLiteral("/sensor/") + stationId + QLatin1Char('/') +
            QLatin1String(entity.ObjectId) + QStringLiteral("/config"))
        .toUtf8();
}

QString UniquePrefix(const QString& stationId)
{
    return QStringLiteral("meteostation_") + stationId;
}

// Tenths are all the station's values carry; hPa gets no false precision either.
double Tenths(double value)
{
    return std::round(value * 10.0) / 10.0;
}

void PutValue(QJsonObject& state, const char* key, const std::optional<double>& value)
{
    if (value && std::isfinite(*value))
        state.insert(QLatin1String(key), Tenths(*value));
}

} // namespace

QString MqttProgramVersion()
{
    return QStringLiteral(METEO_PROGRAM_VERSION);
}

QByteArray MqttStateTopic(const TMqttSettings& settings, const QString& stationId)
{
    return Prefixed(settings.TopicPrefix, stationId, "state").toUtf8();
}

QByteArray MqttAvailabilityTopic(const TMqttSettings& settings, const QString& stationId)
{
    return Prefixed(settings.TopicPrefix, stationId, "availability").toUtf8();
}

QByteArray MqttStatePayload(const TWeatherReading& reading)
{
    QJsonObject state;
    PutValue(state, "indoor_temperature", reading.IndoorCelsius);
    PutValue(state, "outdoor_temperature", reading.OutdoorCelsius);
    PutValue(state, "pressure_mmhg", reading.PressureMmHg);
    if (reading.PressureMmHg)
        PutValue(state, "pressure_hpa", weather::MmHgToHpa(*reading.PressureMmHg));
    PutValue(state, "humidity", reading.HumidityPercent);
    if (reading.Time.isValid()) {
        // Local time spells no offset in ISO form; a time with a fixed offset does.
        const QDateTime time = reading.Time.toOffsetFromUtc(reading.Time.offsetFromUtc());
        state.insert(QStringLiteral("time"), time.toString(Qt::ISODate));
    }
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

int MqttExpireAfterSeconds(int intervalSeconds)
{
    // Three missed publications, and never less than five minutes, so a slow station or a short
    // reconnection does not blank the values.
    return std::max(300, 3 * intervalSeconds);
}

std::vector<TMqttMessage> MqttDiscoveryConfigs(const TMqttSettings& settings, const TMqttIdentity& identity)
{
    const QString unique = UniquePrefix(identity.StationId);
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{unique});
    device.insert(QStringLiteral("name"), identity.DeviceName);
    device.insert(QStringLiteral("model"), QStringLiteral("Метеостанция USB"));
    device.insert(QStringLiteral("sw_version"), identity.Version);

    std::vector<TMqttMessage> configs;
    for (const TQuantityEntity& entity : Entities) {
        const QString key = QLatin1String(entity.ObjectId);
        QJsonObject config;
        config.insert(QStringLiteral("name"), QString::fromUtf8(entity.Name));
        config.insert(QStringLiteral("unique_id"), unique + QLatin1Char('_') + key);
        config.insert(QStringLiteral("default_entity_id"), QStringLiteral("sensor.") + unique + QLatin1Char('_') + key);
        config.insert(QStringLiteral("state_topic"), QString::fromUtf8(MqttStateTopic(settings, identity.StationId)));
        // "None" makes the value unknown when the station did not report it.
        config.insert(QStringLiteral("value_template"),
                      QStringLiteral("{{ value_json.%1 | default('None') }}").arg(key));
        config.insert(QStringLiteral("device_class"), QLatin1String(entity.DeviceClass));
        config.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        config.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(entity.Unit));
        config.insert(QStringLiteral("availability_topic"),
                      QString::fromUtf8(MqttAvailabilityTopic(settings, identity.StationId)));
        config.insert(QStringLiteral("payload_available"), QLatin1String(MqttOnline));
        config.insert(QStringLiteral("payload_not_available"), QLatin1String(MqttOffline));
        config.insert(QStringLiteral("expire_after"), MqttExpireAfterSeconds(settings.IntervalSeconds));
        config.insert(QStringLiteral("device"), device);
        configs.push_back({ConfigTopic(settings, identity.StationId, entity),
                           QJsonDocument(config).toJson(QJsonDocument::Compact), true, 1});
    }
    return configs;
}

std::vector<TMqttMessage> MqttDiscoveryRemovals(const TMqttSettings& settings, const QString& stationId)
{
    std::vector<TMqttMessage> removals;
    for (const TQuantityEntity& entity : Entities)
        removals.push_back({ConfigTopic(settings, stationId, entity), {}, true, 1});
    return removals;
}

std::vector<QByteArray> MqttBirthTopics(const TMqttSettings& settings)
{
    std::vector<QByteArray> topics{(settings.DiscoveryPrefix + QStringLiteral("/status")).toUtf8()};
    const QByteArray homeAssistant = "homeassistant/status";
    if (topics.front() != homeAssistant)
        topics.push_back(homeAssistant);
    return topics;
}

} // namespace publish
