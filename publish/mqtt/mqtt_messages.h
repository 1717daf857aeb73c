// What the program publishes to the broker, as topics and payloads: the readings as one JSON
// state, the availability with its last will, and the Home Assistant discovery configs (one per
// quantity) that let home automation find the station by itself.
#pragma once

#include "publish/mqtt/mqtt_settings.h"
#include "publish/weather_reading.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace publish {

struct TMqttMessage
{
    QByteArray Topic;
    QByteArray Payload; // empty with Retain: removes what the broker kept on the topic
    bool Retain = true;
    int Qos = 1;
    friend bool operator==(const TMqttMessage&, const TMqttMessage&) = default;
};

// The program's version, as the top CMakeLists.txt gives it.
QString MqttProgramVersion();

// Who publishes: the station's id and what the device block tells home automation.
struct TMqttIdentity
{
    QString StationId;
    QString DeviceName = QStringLiteral("Метеостанция");
    QString Version = MqttProgramVersion();
};

inline constexpr const char* MqttOnline = "online";
inline constexpr const char* MqttOffline = "offline";

QByteArray MqttStateTopic(const TMqttSettings& settings, const QString& stationId);
QByteArray MqttAvailabilityTopic(const TMqttSettings& settings, const QString& stationId);

// The reading as the state's JSON: temperatures °C, pressure in mmHg and hPa, humidity %, the
// reading's time in ISO 8601 with its offset. A value the station did not report is left out.
QByteArray MqttStatePayload(const TWeatherReading& reading);

// Seconds after which home automation shows a value unknown when no new state came.
int MqttExpireAfterSeconds(int intervalSeconds);

// One retained config per quantity under the discovery prefix.
std::vector<TMqttMessage> MqttDiscoveryConfigs(const TMqttSettings& settings, const TMqttIdentity& identity);
// The same topics with empty retained payloads: home automation drops the entities.
std::vector<TMqttMessage> MqttDiscoveryRemovals(const TMqttSettings& settings, const QString& stationId);

// Where home automation says it (re)started: the discovery prefix's "status", and Home
// Assistant's default one when the prefix is another.
std::vector<QByteArray> MqttBirthTopics(const TMqttSettings& settings);

} // namespace publish
