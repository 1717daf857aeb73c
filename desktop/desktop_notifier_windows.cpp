// The notifier of Windows: the tray icon's balloon (a toast on Windows 10 and later).
#include "desktop/desktop_notifier.h"

#include <QPointer>
#include <QSystemTrayIcon>

namespace desktop {

namespace {

// How long the balloon stays, where Windows leaves that to the program.
constexpr int BalloonMs = 10000;

class TTrayBalloonNotifier : public TDesktopNotifier
{
public:
    explicit TTrayBalloonNotifier(QSystemTrayIcon* tray)
        : FTray(tray)
    {
    }

    // Windows shows one balloon at a time, the newest, so a key needs no bookkeeping.
    void Notify(const QString& key, const QString& summary, const QString& body) override
    {
        if (!FTray || !FTray->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable()) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    emit NotificationFailed(QStringLiteral("Уведомление не показано: значок в области уведомлений "
                                                           "недоступен."));
                },
                Qt::QueuedConnection);
            return;
        }
        FTray->showMessage(summary, body, FTray->icon(), BalloonMs);
        QMetaObject::invokeMethod(
            this, [this, key] { emit NotificationShown(key); }, Qt::QueuedConnection);
    }

private:
    QPointer<QSystemTrayIcon> FTray;
};

} // namespace

std::unique_ptr<TDesktopNotifier> CreateDesktopNotifier(const QString& /*appName*/, const QString& /*iconName*/,
                                                        QSystemTrayIcon* tray)
{
    return std::make_unique<TTrayBalloonNotifier>(tray);
}

} // namespace desktop
