// The «Публикация» page as the owner uses it: the real window, controller and read thread with the
// stand-in station, and a real mosquitto broker. Values are refused as they are entered, the
// password is kept where the page says, the state follows the station's reports, the state lines
// tell the link's fate, and a clean close leaves «offline».
#include "publish/station_id.h"
#include "station/mqtt_block.h"
#include "station/publishing_built_in.h"
#include "tests/support/e2e_support.h"
#include "tests/support/mqtt_broker.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace {

using testsupport::TMqttBroker;
using testsupport::TMqttSeen;
using testsupport::TMqttWatcher;

constexpr int DeadlineMs = 30000;

class StationPublish : public e2e::StationE2E
{
protected:
    TMqttBlock* Block() const { return BuiltInPublishing(*Form).MqttBlock; }
    TMqttPublishing& Publishing() const { return *BuiltInPublishing(*Form).Mqtt; }

    // Types `text` into `edit` in place of what it held and presses Enter, as the owner does.
    static void Type(QLineEdit* edit, const QString& text)
    {
        // Inserted as a paste would be: the key simulation knows no Cyrillic keys.
        edit->selectAll();
        edit->insert(text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    bool StatusSays(const QString& text) const
    {
        return e2e::PumpUntil([this, text] { return Block()->StatusLabel->text().contains(text); }, DeadlineMs);
    }

    QString Status() const { return Block()->StatusLabel->text(); }
};

QJsonObject Json(const QByteArray& payload)
{
    return QJsonDocument::fromJson(payload).object();
}

TEST_F(StationPublish, TheOwnerSetsUpPublishingAndTheStateFollowsTheStation)
{
    // No password store answers here: the password goes to the user-only file, and the page says so.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("broker")));
    TMqttBroker broker(QDir::current().filePath(QStringLiteral("broker")));
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    TMqttWatcher watcher(broker.Port());
    ASSERT_TRUE(watcher.WaitSubscribed());

    ConnectStation();
    ClickTab(TFormPage::Publish);
    ASSERT_TRUE(e2e::PumpUntil([this] { return Block()->isEnabled() && Block()->isVisible(); }));
    EXPECT_FALSE(Block()->EnabledBox->isChecked());
    EXPECT_EQ(Block()->TopicPrefixEdit->text(), QStringLiteral("meteostation"));
    EXPECT_EQ(Block()->DiscoveryPrefixEdit->text(), QStringLiteral("homeassistant"));
    EXPECT_TRUE(Block()->DiscoveryBox->isChecked());
    EXPECT_EQ(Publishing().Settings().IntervalSeconds, 30);

    // Refused at entry: a prefix with a wildcard, a port out of range; what is in effect stays.
    Type(Block()->TopicPrefixEdit, QStringLiteral("meteo/#"));
    EXPECT_TRUE(Block()->ProblemLabel->isVisible());
    EXPECT_EQ(Block()->ProblemLabel->text(),
              publish::MqttTopicPrefixProblem(QStringLiteral("meteo/#"), QStringLiteral("Префикс топиков")));
    EXPECT_EQ(Publishing().Settings().TopicPrefix, QStringLiteral("meteostation"));
    Type(Block()->TopicPrefixEdit, QStringLiteral("meteostation"));
    EXPECT_FALSE(Block()->ProblemLabel->isVisible());
    Type(Block()->PortEdit, QStringLiteral("70000"));
    EXPECT_EQ(Block()->ProblemLabel->text(), publish::MqttPortProblem(70000));
    EXPECT_EQ(Publishing().Settings().Port, 1883);

    // The broker, a user with the wrong password, every report; then publishing on.
    const QString broker127 = QStringLiteral("127.0.0.1:%1").arg(broker.Port());
    Type(Block()->HostEdit, QStringLiteral("127.0.0.1"));
    Type(Block()->PortEdit, QString::number(broker.Port()));
    Type(Block()->UserEdit, TMqttBroker::User);
    Type(Block()->PasswordEdit, QStringLiteral("not-the-password"));
    Block()->IntervalBox->setValue(0);
    EXPECT_EQ(Block()->IntervalBox->text(), QStringLiteral("при каждом отчёте"));
    e2e::StationE2E::Click(Block()->EnabledBox);
    ASSERT_TRUE(Publishing().Settings().Enabled) << Block()->ProblemLabel->text().toStdString();
    ASSERT_TRUE(StatusSays(QStringLiteral("брокер отверг имя пользователя или пароль"))) << Status().toStdString();
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Нет связи с ") + broker127)) << Status().toStdString();
    ASSERT_TRUE(e2e::PumpUntil([this] { return Block()->PasswordPlaceLabel->isVisible(); }));
    EXPECT_TRUE(Block()->PasswordPlaceLabel->text().contains(QStringLiteral("доступном только вам")));

    Type(Block()->PasswordEdit, TMqttBroker::Password);
    ASSERT_TRUE(StatusSays(QStringLiteral("Подключено к ") + broker127)) << Status().toStdString();

    // The state follows the station's reports, a quantity the station left out is not sent.
    const QByteArray stateTopic =
        "meteostation/" + publish::LoadOrCreateStationId(QDir::currentPath()).Id.toUtf8() + "/state";
    const auto stateWith = [&](double indoor, double outdoor, bool humidity) {
        return watcher.WaitFor(stateTopic, [=](const TMqttSeen& seen) {
            const QJsonObject state = Json(seen.Payload);
            return state.value(QStringLiteral("indoor_temperature")).toDouble() == indoor &&
                state.value(QStringLiteral("outdoor_temperature")).toDouble() == outdoor &&
                state.contains(QStringLiteral("humidity")) == humidity &&
                state.contains(QStringLiteral("pressure_hpa"));
        });
    };
    simulator::TInputReport report = Station->Model().ReadingsReport();
    report[7] = 16, report[9] = 23;  // indoor +23
    report[8] = 16, report[10] = 12; // outdoor +12 (sign byte 0 would be below zero)
    report[11] = 7;
    report[31] = 1, report[32] = 55; // humidity 55 %
    ASSERT_TRUE(Inject(report));
    EXPECT_TRUE(stateWith(23, 12, true)) << [&] {
        std::string all;
        for (const TMqttSeen& m : watcher.Seen())
            all += m.Topic.toStdString() + " " + m.Payload.toStdString() + "\n";
        return all;
    }();
    report[9] = 24, report[31] = 2; // humidity no longer reported
    ASSERT_TRUE(Inject(report));
    EXPECT_TRUE(stateWith(24, 12, false));
    EXPECT_TRUE(e2e::PumpUntil([this] {
        return Block()->LastSentLabel->text().startsWith(QStringLiteral("Последнее сообщение отправлено"));
    }));

    // The settings are in the data folder's file, the password is not.
    QFile ini(QStringLiteral("publish.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray kept = ini.readAll();
    EXPECT_TRUE(kept.contains(QByteArray::number(broker.Port())));
    EXPECT_FALSE(kept.contains(TMqttBroker::Password.toUtf8()));

    // A clean close says «offline» before the window is gone.
    const std::size_t seen = watcher.Count();
    Form.reset();
    EXPECT_TRUE(watcher.WaitFor(
        "meteostation/" + publish::LoadOrCreateStationId(QDir::currentPath()).Id.toUtf8() + "/availability",
        [](const TMqttSeen& message) { return message.Payload == "offline"; }, seen));
}

} // namespace
