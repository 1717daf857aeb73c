// A session bus of the test's own and a stand-in for the desktop's notification service on it, so
// notification tests never reach the desktop the tests run on. The bus is a dbus-daemon started
// with a configuration of its own: a session bus that activates no services, so no notification
// daemon installed on the machine can answer in the stand-in's place.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>
#include <vector>

namespace testsupport {

class TSessionBus
{
public:
    // Starts the daemon and waits for its address; Address() is empty (and Why() says why) when
    // it could not be started.
    TSessionBus();
    ~TSessionBus();
    TSessionBus(const TSessionBus&) = delete;
    TSessionBus& operator=(const TSessionBus&) = delete;

    const QString& Address() const { return FAddress; }
    const QString& Why() const { return FWhy; }
    // A new connection of this process to the bus, under a name of its own.
    QDBusConnection Connect(const QString& name);

private:
    // ASCII, as a D-Bus address must be (the default name would carry the application's name).
    QTemporaryDir FFolder{QDir::tempPath() + QStringLiteral("/meteo-bus-XXXXXX")};
    QProcess FDaemon;
    QString FAddress;
    QString FWhy;
    QStringList FConnections;
};

// One call of Notify as the service received it.
struct TReceivedNotification
{
    QString AppName;
    uint ReplacesId = 0;
    QString Icon;
    QString Summary;
    QString Body;
    QStringList Actions;
    QVariantMap Hints;
    int ExpireTimeout = 0;
};

// org.freedesktop.Notifications on `connection`: it keeps every call and answers with a new id,
// or, while holding, keeps the answer back until Release (a service that hangs).
class TStandInNotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    // Registers the service's name and object; Registered() is false when that failed.
    explicit TStandInNotificationService(QDBusConnection connection);
    ~TStandInNotificationService() override;

    bool Registered() const { return FRegistered; }
    void Hold(bool hold) { FHolding = hold; }
    // Answers the calls held back so far.
    void Release();
    const std::vector<TReceivedNotification>& Received() const { return FReceived; }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout,
                const QDBusMessage& message);

private:
    QDBusConnection FConnection;
    bool FRegistered = false;
    bool FHolding = false;
    uint FNextId = 1;
    std::vector<TReceivedNotification> FReceived;
    std::vector<std::pair<QDBusMessage, uint>> FHeld;
};

} // namespace testsupport
