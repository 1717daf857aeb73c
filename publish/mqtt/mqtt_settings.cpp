// The MQTT settings: checks and their group in "publish.ini".
#include "publish/mqtt/mqtt_settings.h"

#include "publish/publish_file.h"

#include <QDir>
#include <QFileInfo>

namespace publish {
namespace {

namespace Key {
const QString Enabled = QStringLiteral("mqtt/enabled");
const QString Host = QStringLiteral("mqtt/host");
const QString Port = QStringLiteral("mqtt/port");
const QString User = QStringLiteral("mqtt/user");
const QString Tls = QStringLiteral("mqtt/tls");
const QString CaFile = QStringLiteral("mqtt/ca_file");
const QString TopicPrefix = QStringLiteral("mqtt/topic_prefix");
const QString Discovery = QStringLiteral("mqtt/discovery");
const QString DiscoveryPrefix = QStringLiteral("mqtt/discovery_prefix");
const QString Interval = QStringLiteral("mqtt/interval_seconds");
} // namespace Key

} // namespace

QString MqttHostProblem(const QString& host)
{
    if (host.trimmed().isEmpty())
        return QStringLiteral("Укажите адрес брокера.");
    for (const QChar c : host)
        if (c.isSpace() || c == QLatin1Char('/') || c.category() == QChar::Other_Control)
            return QStringLiteral("Адрес брокера «%1» содержит недопустимые знаки.").arg(host);
    return {};
}

QString MqttPortProblem(int port)
{
    if (port < MinPort || port > MaxPort)
        return QStringLiteral("Порт брокера должен быть от %1 до %2.").arg(MinPort).arg(MaxPort);
    return {};
}

QString MqttTopicPrefixProblem(const QString& prefix, const QString& what)
{
    if (prefix.isEmpty())
        return QStringLiteral("%1 не может быть пустым.").arg(what);
    if (prefix.contains(QLatin1Char('#')) || prefix.contains(QLatin1Char('+')))
        return QStringLiteral("%1 не может содержать «#» и «+».").arg(what);
    if (prefix.startsWith(QLatin1Char('/')) || prefix.endsWith(QLatin1Char('/')) ||
        prefix.contains(QLatin1String("//")))
        return QStringLiteral("%1 не может содержать пустой уровень: «/» в начале, в конце или два «/» подряд.")
            .arg(what);
    if (prefix.startsWith(QLatin1Char('$')))
        return QStringLiteral("%1 не может начинаться с «$»: такие топики принадлежат брокеру.").arg(what);
    for (const QChar c : prefix)
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("%1 содержит управляющие знаки.").arg(what);
    // The topics made from it stay far below MQTT's limit of 65,535 bytes.
    if (prefix.toUtf8().size() > 1024)
        return QStringLiteral("%1 слишком длинный.").arg(what);
    return {};
}

QString MqttIntervalProblem(int seconds)
{
    if (seconds < 0 || seconds > MaxIntervalSeconds)
        return QStringLiteral("Интервал публикации должен быть от 0 до %1 с.").arg(MaxIntervalSeconds);
    return {};
}

QString MqttSettingsProblem(const TMqttSettings& settings, bool passwordGiven)
{
    QString problem;
    if (settings.Enabled)
        problem = MqttHostProblem(settings.Host);
    if (problem.isEmpty())
        problem = MqttPortProblem(settings.Port);
    if (problem.isEmpty())
        problem = MqttTopicPrefixProblem(settings.TopicPrefix, QStringLiteral("Префикс топиков"));
    if (problem.isEmpty())
        problem = MqttTopicPrefixProblem(settings.DiscoveryPrefix, QStringLiteral("Префикс обнаружения"));
    if (problem.isEmpty())
        problem = MqttIntervalProblem(settings.IntervalSeconds);
    if (!problem.isEmpty())
        return problem;
    if (passwordGiven && settings.User.isEmpty())
        return QStringLiteral("Пароль указан без имени пользователя.");
    if (settings.Tls && !MqttTlsAvailable())
        return QStringLiteral("TLS недоступен в этой сборке программы.");
    if (settings.Tls && !settings.CaFile.isEmpty() && !QFileInfo(settings.CaFile).isReadable())
        return QStringLiteral("Файл сертификата «%1» не найден или не читается.")
            .arg(QDir::toNativeSeparators(settings.CaFile));
    return {};
}

settings::TLoaded<TMqttSettings> LoadMqttSettings(const QString& dataFolder)
{
    settings::TSettingsReader file(PublishFilePath(dataFolder));
    const TMqttSettings defaults;
    TMqttSettings settings;
    settings.Enabled = file.Switch(Key::Enabled, defaults.Enabled);
    settings.Host = file.Text(Key::Host, defaults.Host);
    settings.Port = file.Number(Key::Port, defaults.Port, MinPort, MaxPort, QStringLiteral("порт MQTT"));
    settings.User = file.Text(Key::User, defaults.User);
    settings.Tls = file.Switch(Key::Tls, defaults.Tls);
    settings.CaFile = file.Text(Key::CaFile, defaults.CaFile);
    settings.TopicPrefix = file.Text(Key::TopicPrefix, defaults.TopicPrefix);
    settings.Discovery = file.Switch(Key::Discovery, defaults.Discovery);
    settings.DiscoveryPrefix = file.Text(Key::DiscoveryPrefix, defaults.DiscoveryPrefix);
    settings.IntervalSeconds = file.Number(Key::Interval, defaults.IntervalSeconds, 0, MaxIntervalSeconds,
                                           QStringLiteral("интервал публикации MQTT в секундах"));
    return {settings, file.Refusals()};
}

QString SaveMqttSettings(const QString& dataFolder, const TMqttSettings& settings)
{
    QSettings file = OpenPublishFile(dataFolder);
    file.setValue(Key::Enabled, settings.Enabled);
    file.setValue(Key::Host, settings.Host);
    file.setValue(Key::Port, settings.Port);
    file.setValue(Key::User, settings.User);
    file.setValue(Key::Tls, settings.Tls);
    file.setValue(Key::CaFile, settings.CaFile);
    file.setValue(Key::TopicPrefix, settings.TopicPrefix);
    file.setValue(Key::Discovery, settings.Discovery);
    file.setValue(Key::DiscoveryPrefix, settings.DiscoveryPrefix);
    file.setValue(Key::Interval, settings.IntervalSeconds);
    return SyncPublishFile(file);
}

QString MqttPasswordName(const QString& stationId)
{
    return QStringLiteral("mqtt-password/") + stationId;
}

} // namespace publish
