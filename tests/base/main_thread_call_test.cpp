#include "base/main_thread_call.h"

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
        base::RunOnMainThread([&] {
            ranOnMain = QThread::currentThread() == mainThread;
            value = 42;
        });
        // The caller sees what the main thread wrote, because it waited for it.
        EXPECT_EQ(value, 42);
        workerReturned = true;
        base::WakeMainThreadWaiters();
    });
    base::WaitServingHandOvers([&] { return workerReturned.load(); });
    worker.join();
    EXPECT_TRUE(ranOnMain);
}

TEST(MainThreadCall, EventLoopServesHandOversAndExceptionsReturnToTheCaller)
{
    std::atomic<int> calls{0};
    std::string caught;
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            base::RunOnMainThread([&] { ++calls; });
        try {
            base::RunOnMainThread([] { throw std::runtime_error("handler failed"); });
        } catch (const std::runtime_error& error) {
            caught = error.what();
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    // A safety net only: the loop ends as soon as the worker is done.
    QTimer hung;
    hung.setSingleShot(true);
    QObject::connect(&hung, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    hung.start(60000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    worker.join();
    EXPECT_EQ(calls, 100);
    EXPECT_EQ(caught, "handler failed");
}

TEST(MainThreadCall, WaitingForAWorkerThatIsBlockedInAHandOverDoesNotDeadlock)
{
    std::atomic<bool> ended{false};
    std::atomic<int> checks{0};
    std::thread worker([&] {
        // The main thread has looked twice and found nothing to do: it is about to wait, or waits.
        while (checks.load() < 2)
            std::this_thread::yield();
        base::RunOnMainThread([] {});
        ended = true;
        base::WakeMainThreadWaiters();
    });
    const auto start = std::chrono::steady_clock::now();
    base::WaitServingHandOvers([&] {
        ++checks;
        return ended.load();
    });
    worker.join();
    // A deadlock would hang here for good; anything slow would be a wait on something else.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(MainThreadCall, CalledOnTheMainThreadRunsAtOnce)
{
    bool ran = false;
    base::RunOnMainThread([&] { ran = true; });
    EXPECT_TRUE(ran);
}

} // namespace
