// Notifications through a real session bus of the test's own: what the notification service is
// asked to show (summary, Russian body, icon, the program's desktop entry), an alarm's end taking
// the place of its start, and a service that is missing, hangs or has no bus: told, never waited for.
#include "desktop/freedesktop_notifier.h"
#include "tests/support/desktop_bus_support.h"
#include "tests/support/test_support.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>

namespace {

using testsupport::PumpUntil;

class NotifierTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Bus = std::make_unique<testsupport::TSessionBus>();
        if (Bus->Address().isEmpty())
            GTEST_FAIL() << "no session bus: " << Bus->Why().toStdString();
    }

    std::unique_ptr<desktop::TFreedesktopNotifier> MakeNotifier(int timeoutMs = desktop::NotificationReplyTimeoutMs)
    {
        return std::make_unique<desktop::TFreedesktopNotifier>(Bus->Connect(QStringLiteral("program")),
                                                               QStringLiteral("meteostation"),
                                                               QStringLiteral("meteostation"), timeoutMs);
    }

    std::unique_ptr<testsupport::TSessionBus> Bus;
};

TEST_F(NotifierTest, TheServiceIsAskedToShowTheAlarm)
{
    testsupport::TStandInNotificationService service(Bus->Connect(QStringLiteral("service")));
    ASSERT_TRUE(service.Registered());
    auto notifier = MakeNotifier();
    QSignalSpy shown(notifier.get(), &desktop::TDesktopNotifier::NotificationShown);
    QSignalSpy failed(notifier.get(), &desktop::TDesktopNotifier::NotificationFailed);

    notifier->Notify(QStringLiteral("frost"), QStringLiteral("Заморозок"),
                     QStringLiteral("На улице −1 °C, ниже порога 0 °C."));
    ASSERT_TRUE(PumpUntil([&] { return shown.count() == 1; }));
    ASSERT_EQ(service.Received().size(), 1u);
    const auto& start = service.Received()[0];
    EXPECT_EQ(start.AppName, QStringLiteral("meteostation"));
    EXPECT_EQ(start.Icon, QStringLiteral("meteostation"));
    EXPECT_EQ(start.Summary, QStringLiteral("Заморозок"));
    EXPECT_EQ(start.Body, QStringLiteral("На улице −1 °C, ниже порога 0 °C."));
    EXPECT_EQ(start.ReplacesId, 0u);
    EXPECT_TRUE(start.Actions.isEmpty());
    EXPECT_EQ(start.Hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("meteostation"));
    EXPECT_EQ(start.Hints.value(QStringLiteral("urgency")).toInt(), 1);
    EXPECT_EQ(start.ExpireTimeout, -1);

    // Another alarm is a notification of its own; the frost's end replaces the frost's start.
    notifier->Notify(QStringLiteral("heat"), QStringLiteral("Жара"), QStringLiteral("На улице +31 °C."));
    ASSERT_TRUE(PumpUntil([&] { return shown.count() == 2; }));
    notifier->Notify(QStringLiteral("frost"), QStringLiteral("Заморозок закончился"),
                     QStringLiteral("На улице +1 °C."));
    ASSERT_TRUE(PumpUntil([&] { return shown.count() == 3; }));
    ASSERT_EQ(service.Received().size(), 3u);
    EXPECT_EQ(service.Received()[1].ReplacesId, 0u);
    EXPECT_EQ(service.Received()[2].ReplacesId, 1u);
    EXPECT_EQ(service.Received()[2].Summary, QStringLiteral("Заморозок закончился"));
    EXPECT_EQ(failed.count(), 0);
}

TEST_F(NotifierTest, AHangingServiceHoldsNothingUp)
{
    testsupport::TStandInNotificationService service(Bus->Connect(QStringLiteral("service")));
    ASSERT_TRUE(service.Registered());
    service.Hold(true);
    auto notifier = MakeNotifier(testsupport::EventDeadlineMs * 3);
    QSignalSpy shown(notifier.get(), &desktop::TDesktopNotifier::NotificationShown);
    QSignalSpy failed(notifier.get(), &desktop::TDesktopNotifier::NotificationFailed);

    // The service runs on this thread: it can only take the calls if Notify returned without
    // waiting for an answer, and a second call is not queued behind the first.
    notifier->Notify(QStringLiteral("frost"), QStringLiteral("Заморозок"), QStringLiteral("На улице −3 °C."));
    notifier->Notify(QStringLiteral("silence"), QStringLiteral("Метеостанция молчит"), QStringLiteral("…"));
    ASSERT_TRUE(PumpUntil([&] { return service.Received().size() == 2; }));
    EXPECT_EQ(shown.count() + failed.count(), 0);
    service.Release();
    ASSERT_TRUE(PumpUntil([&] { return shown.count() == 2; }));

    // A service that never answers: told once the time-out is up.
    auto impatient = MakeNotifier(200);
    QSignalSpy impatientFailed(impatient.get(), &desktop::TDesktopNotifier::NotificationFailed);
    impatient->Notify(QStringLiteral("frost"), QStringLiteral("Заморозок"), QStringLiteral("На улице −3 °C."));
    ASSERT_TRUE(PumpUntil([&] { return impatientFailed.count() == 1; }));
    EXPECT_EQ(impatientFailed[0][0].toString(),
              QStringLiteral("Уведомление не показано: служба уведомлений не отвечает."));
}

TEST_F(NotifierTest, NoServiceOrNoBusIsTold)
{
    auto notifier = MakeNotifier();
    QSignalSpy failed(notifier.get(), &desktop::TDesktopNotifier::NotificationFailed);
    notifier->Notify(QStringLiteral("frost"), QStringLiteral("Заморозок"), QStringLiteral("На улице −3 °C."));
    ASSERT_TRUE(PumpUntil([&] { return failed.count() == 1; }));
    EXPECT_EQ(failed[0][0].toString(),
              QStringLiteral("Уведомление не показано: на рабочем столе нет службы уведомлений."));

    const QDBusConnection nowhere =
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("nowhere"));
    desktop::TFreedesktopNotifier busless(nowhere, QStringLiteral("meteostation"), QStringLiteral("meteostation"));
    QSignalSpy busFailed(&busless, &desktop::TDesktopNotifier::NotificationFailed);
    busless.Notify(QStringLiteral("frost"), QStringLiteral("Заморозок"), QStringLiteral("На улице −3 °C."));
    EXPECT_EQ(busFailed.count(), 0); // told from the event loop, not from inside Notify
    ASSERT_TRUE(PumpUntil([&] { return busFailed.count() == 1; }));
    EXPECT_EQ(busFailed[0][0].toString(), QStringLiteral("Уведомление не показано: нет сеансовой шины D-Bus."));
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

} // namespace
