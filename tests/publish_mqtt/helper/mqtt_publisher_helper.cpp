// A program that publishes to the test's broker until it is killed: the last-will test kills it
// with SIGKILL, so that only the broker can say it went offline.
// Arguments: port, user, station id; the password comes in METEO_MQTT_PASSWORD.
#include "publish/mqtt/mqtt_publisher.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 4)
        return 2;
    publish::TMqttPublisher publisher({arguments[3]});
    publish::TMqttSettings settings;
    settings.Enabled = true;
    settings.Host = QStringLiteral("127.0.0.1");
    settings.Port = arguments[1].toInt();
    settings.User = arguments[2];
    settings.IntervalSeconds = 0;
    publisher.Apply(settings, qEnvironmentVariable("METEO_MQTT_PASSWORD"));
    publisher.Publish({20, 5, 750, 60, QDateTime::currentDateTime()});
    return application.exec();
}
