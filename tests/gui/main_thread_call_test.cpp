#include "gui/error_box.h"
#include "gui/main_thread_call.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace {

TEST(MainThreadCall, RunsOnTheMainThreadAndBlocksTheCallerUntilDone)
{
    QThread* mainThread = QThread::currentThread();
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> workerReturned{false};
    int value = 0;
    std::thread worker([&] {
        gui::RunOnMainThread([&] {
            ranOnMain = QThread::currentThread() == mainThread;
            value = 42;
        });
        // The caller sees what the main thread wrote, because it waited for it.
        EXPECT_EQ(value, 42);
        workerReturned = true;
        gui::WakeMainThreadWaiters();
    });
    gui::WaitServingHandOvers([&] { return workerReturned.load(); });
    worker.join();
    EXPECT_TRUE(ranOnMain);
}

TEST(MainThreadCall, EventLoopServesHandOversAndExceptionsReturnToTheCaller)
{
    std::atomic<int> calls{0};
    std::string caught;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            gui::RunOnMainThread([&] { ++calls; });
        try {
            gui::RunOnMainThread([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error& error) {
            caught = error.what();
        }
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    worker.join();
    EXPECT_EQ(calls, 100);
    EXPECT_EQ(caught, "handler failed");
}

TEST(MainThreadCall, WaitingForAWorkerThatIsBlockedInAHandOverDoesNotDeadlock)
{
    std::atomic<bool> ended{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gui::RunOnMainThread([] {});
        ended = true;
        gui::WakeMainThreadWaiters();
    });
    const auto start = std::chrono::steady_clock::now();
    gui::WaitServingHandOvers([&] { return ended.load(); });
    worker.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(MainThreadCall, CalledOnTheMainThreadRunsAtOnce)
{
    bool ran = false;
    gui::RunOnMainThread([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(ErrorBox, FullStopAppendedOnlyAfterCharactersAboveFullStop)
{
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("Файл не найден")), QStringLiteral("Файл не найден."));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("Disk full")), QStringLiteral("Disk full."));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("met.mtb.")), QStringLiteral("met.mtb."));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("(4096)")), QStringLiteral("(4096)"));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("Ошибка!")), QStringLiteral("Ошибка!"));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("code 5")), QStringLiteral("code 5."));
    EXPECT_EQ(gui::ErrorBoxText(QString()), QString());
}

TEST(ErrorBox, ExceptionReachingTheEventLoopIsShownAndTheProgramGoesOn)
{
    QString shown;
    gui::SetErrorBoxHook([&](const QString& text) { shown = text; });
    struct Throwing : QObject
    {
        bool event(QEvent*) override { throw std::runtime_error("Нет места на диске"); }
    } throwing;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&throwing, &event));
    gui::SetErrorBoxHook({});
    EXPECT_EQ(shown, QStringLiteral("Нет места на диске."));
}

} // namespace
