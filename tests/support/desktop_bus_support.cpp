// The test's own session bus and the stand-in notification service; see desktop_bus_support.h.
#include "tests/support/desktop_bus_support.h"

#include "tests/support/test_support.h"

#include <QFile>

namespace testsupport {

TSessionBus::TSessionBus()
{
    if (!FFolder.isValid()) {
        FWhy = QStringLiteral("no temporary folder");
        return;
    }
    const QString config = FFolder.filePath(QStringLiteral("session.conf"));
    const QByteArray text = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                            "<busconfig>\n"
                            "  <type>session</type>\n"
                            "  <listen>unix:dir=" +
        QFile::encodeName(FFolder.path()) +
        "</listen>\n"
        "  <auth>EXTERNAL</auth>\n"
        "  <policy context=\"default\">\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n"
        "    <allow own=\"*\"/>\n"
        "  </policy>\n"
        "</busconfig>\n";
    if (!WriteFileBytes(config, text)) {
        FWhy = QStringLiteral("cannot write ") + config;
        return;
    }
    FDaemon.start(
        QStringLiteral("dbus-daemon"),
        {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QByteArray printed;
    PumpUntil([&] {
        printed += FDaemon.readAllStandardOutput();
        return printed.contains('\n') || FDaemon.state() == QProcess::NotRunning;
    });
    if (!printed.contains('\n')) {
        FWhy = QStringLiteral("dbus-daemon did not start: ") + FDaemon.errorString() +
            QString::fromLocal8Bit(FDaemon.readAllStandardError());
        return;
    }
    FAddress = QString::fromUtf8(printed.left(printed.indexOf('\n')).trimmed());
}

TSessionBus::~TSessionBus()
{
    for (const QString& name : FConnections)
        QDBusConnection::disconnectFromBus(name);
    if (FDaemon.state() != QProcess::NotRunning) {
        FDaemon.terminate();
        if (!FDaemon.waitForFinished(EventDeadlineMs))
            FDaemon.kill();
        FDaemon.waitForFinished(EventDeadlineMs);
    }
}

QDBusConnection TSessionBus::Connect(const QString& name)
{
    FConnections << name;
    return QDBusConnection::connectToBus(FAddress, name);
}

TStandInNotificationService::TStandInNotificationService(QDBusConnection connection)
    : FConnection(connection)
{
    FRegistered = FConnection.isConnected() &&
        FConnection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                   QDBusConnection::ExportAllSlots) &&
        FConnection.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

TStandInNotificationService::~TStandInNotificationService()
{
    if (FConnection.isConnected()) {
        FConnection.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        FConnection.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
}

uint TStandInNotificationService::Notify(const QString& appName, uint replacesId, const QString& icon,
                                         const QString& summary, const QString& body, const QStringList& actions,
                                         const QVariantMap& hints, int expireTimeout, const QDBusMessage& message)
{
    FReceived.push_back({appName, replacesId, icon, summary, body, actions, hints, expireTimeout});
    const uint id = replacesId != 0 ? replacesId : FNextId++;
    if (FHolding) {
        message.setDelayedReply(true);
        FHeld.emplace_back(message, id);
    }
    return id;
}

void TStandInNotificationService::Release()
{
    for (const auto& [message, id] : FHeld)
        FConnection.send(message.createReply(QVariant::fromValue(id)));
    FHeld.clear();
}

} // namespace testsupport
