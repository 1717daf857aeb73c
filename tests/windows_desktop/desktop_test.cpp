// The desktop layer's Windows side under wine: the autostart value under the user's Run key
// written, read back and removed, and the tray balloon's notifier: shown from a tray icon, and
// told when there is no tray icon to show a balloon from.
#include "desktop/autostart.h"
#include "desktop/desktop_notifier.h"
#include "tests/support/test_support.h"

#include <QApplication>
#include <QPixmap>
#include <QSettings>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

namespace {

const QString RunKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

TEST(WindowsDesktop, AutostartValueUnderTheRunKey)
{
    const QString name = QStringLiteral("meteostation-test");
    ASSERT_EQ(desktop::DisableAutostart(name), QString());
    EXPECT_FALSE(desktop::ReadAutostart(name).Enabled);

    const QString program =
        QStringLiteral("C:/Users/Анна Петрова/AppData/Local/Programs/meteostation/meteostation.exe");
    EXPECT_EQ(
        desktop::EnableAutostart({name, QStringLiteral("Метеостанция"), {}, {}, program, {QStringLiteral("--tray")}}),
        QString());
    EXPECT_EQ(
        QSettings(RunKey, QSettings::NativeFormat).value(name).toString(),
        QStringLiteral("\"C:\\Users\\Анна Петрова\\AppData\\Local\\Programs\\meteostation\\meteostation.exe\" --tray"));
    auto state = desktop::ReadAutostart(name);
    EXPECT_TRUE(state.Enabled);
    EXPECT_EQ(state.Arguments, QStringList{QStringLiteral("--tray")});

    // Written again without the option, as the settings block does when it is switched off.
    EXPECT_EQ(desktop::EnableAutostart({name, QStringLiteral("Метеостанция"), {}, {}, program, {}}), QString());
    state = desktop::ReadAutostart(name);
    EXPECT_TRUE(state.Enabled);
    EXPECT_TRUE(state.Arguments.isEmpty());

    EXPECT_EQ(desktop::DisableAutostart(name), QString());
    EXPECT_FALSE(desktop::ReadAutostart(name).Enabled);
    EXPECT_FALSE(QSettings(RunKey, QSettings::NativeFormat).contains(name));
}

TEST(WindowsDesktop, BalloonFromTheTrayIcon)
{
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    QPixmap picture(16, 16);
    picture.fill(Qt::blue);
    QSystemTrayIcon tray{QIcon(picture)};
    tray.show();
    const auto notifier = desktop::CreateDesktopNotifier(QStringLiteral("meteostation"), {}, &tray);
    QStringList shown;
    QStringList failures;
    QObject::connect(notifier.get(), &desktop::TDesktopNotifier::NotificationShown,
                     [&shown](const QString& key) { shown << key; });
    QObject::connect(notifier.get(), &desktop::TDesktopNotifier::NotificationFailed,
                     [&failures](const QString& reason) { failures << reason; });
    notifier->Notify(QStringLiteral("frost"), QStringLiteral("Заморозок"), QStringLiteral("На улице −1 °C."));
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !shown.isEmpty() || !failures.isEmpty(); }));
    EXPECT_EQ(shown, QStringList{QStringLiteral("frost")});
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char(' ')).toStdString();
}

TEST(WindowsDesktop, BalloonWithoutATrayIconIsTold)
{
    const QString noTray = QStringLiteral("Уведомление не показано: значок в области уведомлений недоступен.");
    QSystemTrayIcon hidden; // a tray icon that is not shown has no balloon either
    for (QSystemTrayIcon* tray : {static_cast<QSystemTrayIcon*>(nullptr), &hidden}) {
        const auto notifier = desktop::CreateDesktopNotifier(QStringLiteral("meteostation"), {}, tray);
        QStringList failures;
        QObject::connect(notifier.get(), &desktop::TDesktopNotifier::NotificationFailed,
                         [&failures](const QString& reason) { failures << reason; });
        notifier->Notify(QStringLiteral("frost"), QStringLiteral("Заморозок"), QStringLiteral("На улице −1 °C."));
        EXPECT_TRUE(failures.isEmpty()); // told from the event loop, not from inside Notify
        ASSERT_TRUE(testsupport::PumpUntil([&] { return !failures.isEmpty(); }));
        EXPECT_EQ(failures, QStringList{noTray});
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
