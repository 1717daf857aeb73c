// What the publisher sends and keeps, without a broker: the state's JSON and the discovery configs
// with their keys, the settings' checks and their file, the station's id, the state texts.
#include "publish/mqtt/mqtt_messages.h"
#include "publish/mqtt/mqtt_settings.h"
#include "publish/mqtt/mqtt_status.h"
#include "publish/publish_file.h"
#include "publish/station_id.h"
#include "tests/support/test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <set>

namespace {

using namespace publish;

QJsonObject MessageJson(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

std::set<QString> Keys(const QJsonObject& object)
{
    const QStringList keys = object.keys();
    return {keys.begin(), keys.end()};
}

TEST(MqttMessages, StateCarriesWhatTheStationReportedAndLeavesOutTheRest)
{
    const QDateTime moscow(QDate(2026, 12, 5), QTime(14, 0), Qt::OffsetFromUTC, 3 * 3600);
    struct TCase
    {
        const char* Name;
        TWeatherReading Reading;
        QByteArray Json;
    };
    const TCase cases[] = {
        {"all values",
         {moscow, 23, -5, 745, 45},
         R"({"humidity":45,"indoor_temperature":23,"outdoor_temperature":-5,"pressure_hpa":993.3,)"
         R"("pressure_mmhg":745,"time":"2026-12-05T14:00:00+03:00"})"},
        // Zero is a value, never a stand-in for an absent one.
        {"outdoor and humidity absent, zero indoor",
         {moscow.toUTC(), 0, {}, 760, {}},
         R"({"indoor_temperature":0,"pressure_hpa":1013.3,"pressure_mmhg":760,"time":"2026-12-05T11:00:00Z"})"},
        {"nothing at all, no time", {}, "{}"},
        {"tenths are kept, no more",
         {{}, 21.46, -0.04, {}, 99.96},
         R"({"humidity":100,"indoor_temperature":21.5,"outdoor_temperature":0})"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(MessageJson(MqttStatePayload(c.Reading)), MessageJson(c.Json))
            << c.Name << ": " << MqttStatePayload(c.Reading).toStdString();
    // A local time carries its offset too.
    const QString local =
        MessageJson(MqttStatePayload({QDateTime::currentDateTime(), 1, {}, {}, {}}))["time"].toString();
    EXPECT_TRUE(local.endsWith(QLatin1Char('Z')) ||
                local.contains(QRegularExpression(QStringLiteral("[+-]\\d\\d:\\d\\d$"))))
        << local.toStdString();
}

TEST(MqttMessages, DiscoveryConfigsCarryTheKeysHomeAssistantNeeds)
{
    TMqttSettings settings;
    settings.TopicPrefix = QStringLiteral("дом/погода");
    settings.DiscoveryPrefix = QStringLiteral("ha");
    settings.IntervalSeconds = 600;
    const TMqttIdentity identity{QStringLiteral("0a1b2c3d4e5f"), QStringLiteral("Метеостанция (демонстрация)"),
                                 QStringLiteral("1.2.0")};
    const auto configs = MqttDiscoveryConfigs(settings, identity);
    const auto removals = MqttDiscoveryRemovals(settings, identity.StationId);
    ASSERT_EQ(configs.size(), 4u);
    ASSERT_EQ(removals.size(), 4u);

    struct TEntity
    {
        const char* Object;
        const char* DeviceClass;
        const char* Unit;
    };
    const TEntity expected[] = {{"indoor_temperature", "temperature", "°C"},
                                {"outdoor_temperature", "temperature", "°C"},
                                {"pressure_mmhg", "atmospheric_pressure", "mmHg"},
                                {"humidity", "humidity", "%"}};
    const std::set<QString> keys{"name",
                                 "unique_id",
                                 "default_entity_id",
                                 "state_topic",
                                 "value_template",
                                 "device_class",
                                 "state_class",
                                 "unit_of_measurement",
                                 "availability_topic",
                                 "payload_available",
                                 "payload_not_available",
                                 "expire_after",
                                 "device"};
    std::set<QString> uniqueIds;
    for (std::size_t i = 0; i < configs.size(); ++i) {
        const TEntity& entity = expected[i];
        const QJsonObject config = MessageJson(configs[i].Payload);
        SCOPED_TRACE(entity.Object);
        EXPECT_EQ(configs[i].Topic, QByteArray("ha/sensor/0a1b2c3d4e5f/") + entity.Object + "/config");
        EXPECT_TRUE(configs[i].Retain);
        EXPECT_EQ(Keys(config), keys);
        EXPECT_EQ(config["device_class"].toString(), QString::fromUtf8(entity.DeviceClass));
        EXPECT_EQ(config["unit_of_measurement"].toString(), QString::fromUtf8(entity.Unit));
        EXPECT_EQ(config["state_class"].toString(), "measurement");
        EXPECT_EQ(config["state_topic"].toString(), "дом/погода/0a1b2c3d4e5f/state");
        EXPECT_EQ(config["availability_topic"].toString(), "дом/погода/0a1b2c3d4e5f/availability");
        EXPECT_EQ(config["payload_available"].toString(), "online");
        EXPECT_EQ(config["payload_not_available"].toString(), "offline");
        EXPECT_TRUE(config["value_template"].toString().contains(QStringLiteral("value_json.") + entity.Object));
        EXPECT_EQ(config["expire_after"].toInt(), 1800);
        uniqueIds.insert(config["unique_id"].toString());
        EXPECT_TRUE(config["unique_id"].toString().contains("0a1b2c3d4e5f"));
        const QJsonObject device = config["device"].toObject();
        EXPECT_EQ(device["identifiers"].toArray().size(), 1);
        EXPECT_EQ(device["name"].toString(), identity.DeviceName);
        EXPECT_EQ(device["sw_version"].toString(), "1.2.0");
        // Every value the template reads is a key of the state.
        EXPECT_TRUE(MessageJson(MqttStatePayload({{}, 1, 2, 3, 4})).contains(QString::fromUtf8(entity.Object)));
        // The removal is the same topic, retained and empty.
        EXPECT_EQ(removals[i].Topic, configs[i].Topic);
        EXPECT_TRUE(removals[i].Retain && removals[i].Payload.isEmpty());
    }
    EXPECT_EQ(uniqueIds.size(), 4u);
    EXPECT_EQ(MqttExpireAfterSeconds(0), 300);
    EXPECT_EQ(MqttBirthTopics(settings), (std::vector<QByteArray>{"ha/status", "homeassistant/status"}));
    EXPECT_EQ(MqttBirthTopics(TMqttSettings{}), (std::vector<QByteArray>{"homeassistant/status"}));
    EXPECT_EQ(TMqttIdentity{}.Version, MqttProgramVersion());
    EXPECT_FALSE(MqttProgramVersion().isEmpty());
}

TEST(MqttSettings, ChecksRefuseWhatTopicsAndSocketsCannotCarry)
{
    struct TCase
    {
        const char* Name;
        std::function<void(TMqttSettings&)> Change;
        bool PasswordGiven;
        const char* Problem; // a part of the message; empty: accepted
    };
    const TCase cases[] = {
        {"defaults with a host", [](TMqttSettings&) {}, false, ""},
        {"no host while on", [](TMqttSettings& s) { s.Host.clear(); }, false, "Укажите адрес брокера"},
        {"no host while off", [](TMqttSettings& s) { s.Host.clear(), s.Enabled = false; }, false, ""},
        {"space in host", [](TMqttSettings& s) { s.Host = "my broker"; }, false, "недопустимые знаки"},
        {"port 0", [](TMqttSettings& s) { s.Port = 0; }, false, "от 1 до 65535"},
        {"port 65536", [](TMqttSettings& s) { s.Port = 65536; }, false, "от 1 до 65535"},
        {"port 65535", [](TMqttSettings& s) { s.Port = 65535; }, false, ""},
        {"prefix with #", [](TMqttSettings& s) { s.TopicPrefix = "home/#"; }, false, "«#» и «+»"},
        {"prefix with +", [](TMqttSettings& s) { s.TopicPrefix = "a+b"; }, false, "«#» и «+»"},
        {"empty prefix", [](TMqttSettings& s) { s.TopicPrefix.clear(); }, false,
         "Префикс топиков не может быть пустым"},
        {"empty level inside", [](TMqttSettings& s) { s.TopicPrefix = "home//wx"; }, false, "пустой уровень"},
        {"empty level first", [](TMqttSettings& s) { s.TopicPrefix = "/home"; }, false, "пустой уровень"},
        {"empty level last", [](TMqttSettings& s) { s.TopicPrefix = "home/"; }, false, "пустой уровень"},
        {"broker's own topics", [](TMqttSettings& s) { s.TopicPrefix = "$SYS"; }, false, "«$»"},
        {"levels and Cyrillic", [](TMqttSettings& s) { s.TopicPrefix = "дача/метео"; }, false, ""},
        {"discovery prefix with +", [](TMqttSettings& s) { s.DiscoveryPrefix = "ha+"; }, false, "Префикс обнаружения"},
        {"interval below 0", [](TMqttSettings& s) { s.IntervalSeconds = -1; }, false, "Интервал"},
        {"every report", [](TMqttSettings& s) { s.IntervalSeconds = 0; }, false, ""},
        {"password without user", [](TMqttSettings&) {}, true, "без имени пользователя"},
        {"password with user", [](TMqttSettings& s) { s.User = "u"; }, true, ""},
        {"missing CA file", [](TMqttSettings& s) { s.Tls = true, s.CaFile = "/nonexistent/ca.pem"; }, false,
         "не найден"},
        {"TLS with the system's certificates", [](TMqttSettings& s) { s.Tls = true; }, false, ""},
    };
    for (const TCase& c : cases) {
        TMqttSettings settings;
        settings.Enabled = true;
        settings.Host = QStringLiteral("broker.local");
        c.Change(settings);
        const QString problem = MqttSettingsProblem(settings, c.PasswordGiven);
        if (*c.Problem == '\0')
            EXPECT_EQ(problem, QString()) << c.Name;
        else
            EXPECT_TRUE(problem.contains(QString::fromUtf8(c.Problem))) << c.Name << ": " << problem.toStdString();
    }
}

TEST(MqttSettings, FileKeepsSettingsAndIdAndSurvivesHandEdits)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    const QString path = folder.Path();

    // Nothing kept yet: the defaults.
    EXPECT_EQ(LoadMqttSettings(path).Settings, TMqttSettings{});
    TMqttSettings settings;
    settings.Enabled = true;
    settings.Host = QStringLiteral("192.168.1.5");
    settings.Port = 8883;
    settings.User = QStringLiteral("дом");
    settings.Tls = true;
    settings.CaFile = QStringLiteral("/etc/ssl/my ca.pem");
    settings.TopicPrefix = QStringLiteral("дача/метео");
    settings.Discovery = false;
    settings.DiscoveryPrefix = QStringLiteral("ha");
    settings.IntervalSeconds = 0;
    ASSERT_EQ(SaveMqttSettings(path, settings), QString());
    EXPECT_EQ(LoadMqttSettings(path).Settings, settings);
    EXPECT_EQ(LoadMqttSettings(path).Problem, QString());

    // One id per folder, the same at every start; another folder is another device.
    const TStationId made = LoadOrCreateStationId(path);
    EXPECT_TRUE(made.Error.isEmpty());
    EXPECT_TRUE(IsStationId(made.Id)) << made.Id.toStdString();
    EXPECT_EQ(LoadOrCreateStationId(path).Id, made.Id);
    QTemporaryDir other;
    EXPECT_NE(LoadOrCreateStationId(other.path()).Id, made.Id);
    // Saving the settings keeps the id.
    ASSERT_EQ(SaveMqttSettings(path, settings), QString());
    EXPECT_EQ(LoadOrCreateStationId(path).Id, made.Id);

    // Values of the wrong kind or out of range read as defaults, each told; an id a topic cannot
    // carry is replaced and kept.
    QByteArray text = testsupport::ReadFileBytes(PublishFilePath(path));
    text.replace("port=8883", "port=eighty");
    text.replace("tls=true", "tls=maybe");
    text.replace("interval_seconds=0", "interval_seconds=-5");
    text.replace(made.Id.toLatin1(), "a/b#c");
    ASSERT_TRUE(testsupport::WriteFileBytes(PublishFilePath(path), text));
    const auto [read, problem] = LoadMqttSettings(path);
    EXPECT_EQ(read.Port, 1883);
    EXPECT_FALSE(read.Tls);
    EXPECT_EQ(read.IntervalSeconds, 30);
    EXPECT_EQ(read.Host, settings.Host);
    EXPECT_EQ(problem,
              QStringLiteral("В «publish.ini» порт MQTT (mqtt/port) «eighty» — не число; взят 1883. "
                             "В «publish.ini» у ключа mqtt/tls значение «maybe» — не false и не true; "
                             "взято false. В «publish.ini» интервал публикации MQTT в секундах "
                             "(mqtt/interval_seconds) -5 вне пределов 0..86400; взят 30."));
    const QString replaced = LoadOrCreateStationId(path).Id;
    EXPECT_TRUE(IsStationId(replaced));
    EXPECT_EQ(LoadOrCreateStationId(path).Id, replaced);

    // A folder that cannot be written says so, naming the file.
    const QString message = SaveMqttSettings(QStringLiteral("/proc/meteostation-nowhere"), settings);
    EXPECT_TRUE(message.contains(QStringLiteral("publish.ini"))) << message.toStdString();
}

TEST(MqttStatus, TextsTellTheOwnerWhatIsGoingOn)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    TMqttStatus waiting{
        TMqttState::Waiting, "broker:1883", "брокер отверг имя пользователя или пароль", 8, now.addMSecs(7200), {}};
    EXPECT_EQ(MqttStatusText(waiting, now),
              "Нет связи с broker:1883: брокер отверг имя пользователя или пароль, следующая попытка через 8 с");
    // The count never shows 0 while the attempt is still to come, nor goes below 1.
    EXPECT_TRUE(MqttStatusText(waiting, now.addSecs(60)).endsWith("через 1 с"));
    EXPECT_EQ(MqttStatusText({TMqttState::Connected, "broker:1883", {}, 0, {}, {}}, now), "Подключено к broker:1883");
    EXPECT_EQ(MqttStatusText({TMqttState::Off, {}, {}, 0, {}, {}}, now), "Публикация выключена");
    EXPECT_EQ(MqttLastSentText({}, now), "Сообщения ещё не отправлялись");
    const QDateTime sent = QDateTime(now.toLocalTime().date(), QTime(9, 5, 7));
    EXPECT_EQ(MqttLastSentText({TMqttState::Connected, {}, {}, 0, {}, sent}, sent),
              "Последнее сообщение отправлено в 09:05:07");
    EXPECT_EQ(MqttLastSentText({TMqttState::Connected, {}, {}, 0, {}, sent}, sent.addDays(1)),
              "Последнее сообщение отправлено " + sent.toString("dd.MM.yyyy") + " 09:05:07");
}

} // namespace
