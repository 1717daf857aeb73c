// The notifier of Linux desktops: the freedesktop notification service on the session bus.
#include "desktop/desktop_notifier.h"
#include "desktop/freedesktop_notifier.h"

namespace desktop {

std::unique_ptr<TDesktopNotifier> CreateDesktopNotifier(const QString& appName, const QString& iconName,
                                                        QSystemTrayIcon* /*tray*/)
{
    return std::make_unique<TFreedesktopNotifier>(QDBusConnection::sessionBus(), appName, iconName);
}

} // namespace desktop
