// What the owner sets for publishing to an MQTT broker, its checks (Russian messages, for the
// page to refuse a value as it is entered), and its place in "publish.ini" (group "mqtt"). The
// password is not here: it lives in the secret store.
#pragma once

#include "settings/settings_reader.h"

#include <QString>

namespace publish {

struct TMqttSettings
{
    bool Enabled = false;
    QString Host;
    int Port = 1883;
    QString User;
    bool Tls = false;
    QString CaFile; // empty: the system's certificates
    QString TopicPrefix = QStringLiteral("meteostation");
    bool Discovery = true;
    QString DiscoveryPrefix = QStringLiteral("homeassistant");
    int IntervalSeconds = 30; // 0: every report, as soon as the link is free

    friend bool operator==(const TMqttSettings&, const TMqttSettings&) = default;
};

inline constexpr int MaxIntervalSeconds = 86400;
inline constexpr int MinPort = 1;
inline constexpr int MaxPort = 65535;

// Whether this build of the program can talk TLS to a broker.
bool MqttTlsAvailable();

// The problem with one value, or empty when it is fine.
QString MqttHostProblem(const QString& host);
QString MqttPortProblem(int port);
// `what`: the value's name as the message says it, e.g. "Префикс топиков".
QString MqttTopicPrefixProblem(const QString& prefix, const QString& what);
QString MqttIntervalProblem(int seconds);

// The first problem of the whole settings, or empty when they can be used. `passwordGiven`:
// whether a password goes with them (it needs a user name). The broker's address is checked only
// when publishing is on, so a half-filled page can be switched off and saved.
QString MqttSettingsProblem(const TMqttSettings& settings, bool passwordGiven);

// The settings kept in the data folder; the defaults where none are kept or a kept value is of
// the wrong kind or out of range, which the problem tells key by key. That the file as a whole is
// damaged is PublishFileProblem's to tell.
settings::TLoaded<TMqttSettings> LoadMqttSettings(const QString& dataFolder);
// Empty on success, otherwise the message naming the file.
QString SaveMqttSettings(const QString& dataFolder, const TMqttSettings& settings);

// The password's name in the secret store, for the station `stationId`.
QString MqttPasswordName(const QString& stationId);

} // namespace publish
