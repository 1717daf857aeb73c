// Notifications over D-Bus; see freedesktop_notifier.h.
#include "desktop/freedesktop_notifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace desktop {

namespace {

constexpr uchar NormalUrgency = 1;
// The service decides how long a notification stays.
constexpr int ServerChosenExpiry = -1;

QString FailureReason(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return QStringLiteral("Уведомление не показано: на рабочем столе нет службы уведомлений.");
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return QStringLiteral("Уведомление не показано: служба уведомлений не отвечает.");
    case QDBusError::Disconnected:
        return QStringLiteral("Уведомление не показано: связь с сеансовой шиной D-Bus прервана.");
    default:
        return QStringLiteral("Уведомление не показано: служба уведомлений ответила ошибкой (%1).")
            .arg(error.message());
    }
}

} // namespace

TFreedesktopNotifier::TFreedesktopNotifier(const QDBusConnection& bus, const QString& appName, const QString& iconName,
                                           int replyTimeoutMs, QObject* parent)
    : TDesktopNotifier(parent)
    , FBus(bus)
    , FAppName(appName)
    , FIconName(iconName)
    , FReplyTimeoutMs(replyTimeoutMs)
{
}

void TFreedesktopNotifier::Notify(const QString& key, const QString& summary, const QString& body)
{
    if (!FBus.isConnected()) {
        // Told from the event loop, as every other outcome is, so the caller is never re-entered.
        QMetaObject::invokeMethod(
            this,
            [this] { emit NotificationFailed(QStringLiteral("Уведомление не показано: нет сеансовой шины D-Bus.")); },
            Qt::QueuedConnection);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(NotificationsService, NotificationsPath, NotificationsInterface,
                                                       QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), FAppName);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(NormalUrgency));
    call << FAppName << FShownIds.value(key, 0u) << FIconName << summary << body << QStringList() << hints
         << ServerChosenExpiry;
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, FReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, key](QDBusPendingCallWatcher* finished) { Answered(finished, key); });
}

void TFreedesktopNotifier::Answered(QDBusPendingCallWatcher* watcher, const QString& key)
{
    watcher->deleteLater();
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
        FShownIds.remove(key);
        emit NotificationFailed(FailureReason(reply.error()));
        return;
    }
    FShownIds.insert(key, reply.value());
    emit NotificationShown(key);
}

} // namespace desktop
