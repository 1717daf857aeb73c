// Notifications through the desktop's notification service, org.freedesktop.Notifications on the
// session bus. Calls are asynchronous with a reply time-out: no answer, no service and no bus are
// each reported through NotificationFailed, never waited for.
#pragma once

#include "desktop/desktop_notifier.h"

#include <QDBusConnection>
#include <QHash>

class QDBusPendingCallWatcher;

namespace desktop {

inline const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");
inline const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
inline const QString NotificationsInterface = QStringLiteral("org.freedesktop.Notifications");
// How long a notification may wait for the service's answer before it counts as not shown.
inline constexpr int NotificationReplyTimeoutMs = 5000;

class TFreedesktopNotifier : public TDesktopNotifier
{
    Q_OBJECT
public:
    TFreedesktopNotifier(const QDBusConnection& bus, const QString& appName, const QString& iconName,
                         int replyTimeoutMs = NotificationReplyTimeoutMs, QObject* parent = nullptr);

    void Notify(const QString& key, const QString& summary, const QString& body) override;

private:
    void Answered(QDBusPendingCallWatcher* watcher, const QString& key);

    QDBusConnection FBus;
    QString FAppName;
    QString FIconName;
    int FReplyTimeoutMs;
    // The service's id of the last notification shown for each key.
    QHash<QString, uint> FShownIds;
};

} // namespace desktop
