// Desktop notifications behind one small interface: on Linux the desktop's notification service
// (org.freedesktop.Notifications over the session bus), on Windows the tray icon's balloon. Showing
// one never waits for the desktop: a missing or hanging service is reported afterwards through
// NotificationFailed, and the caller still has the message to show in its window.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QSystemTrayIcon;

namespace desktop {

class TDesktopNotifier : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Shows a notification. `key` names what it is about (an alarm): a later notification with
    // the same key replaces the earlier one where the desktop can, so an alarm's end takes the
    // place of its start.
    virtual void Notify(const QString& key, const QString& summary, const QString& body) = 0;

signals:
    // The desktop took the notification with this key.
    void NotificationShown(const QString& key);
    // The notification was not shown; `reason` says why, in Russian.
    void NotificationFailed(const QString& reason);
};

// The system's notifier: `appName` and `iconName` are the program's desktop entry name and icon
// (Linux); `tray` is the icon whose balloon shows the message (Windows; unused on Linux).
std::unique_ptr<TDesktopNotifier> CreateDesktopNotifier(const QString& appName, const QString& iconName,
                                                        QSystemTrayIcon* tray);

} // namespace desktop
