#include "base/main_thread_call.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace base {
namespace {

struct HandOver
{
    const std::function<void()>* Call = nullptr;
    std::exception_ptr Error;
    bool Done = false;                  // with the queue's lock held
    std::atomic<bool> Finished = false; // the same, for a worker that looks without the lock
};

constexpr std::chrono::microseconds SpinBeforeSleeping{50};

// One queue for the whole program; every worker that hands over waits on its own entry.
struct HandOverQueue
{
    std::mutex Lock;
    std::condition_variable WorkerWake; // a hand-over has been run
    std::condition_variable MainWake;   // a hand-over arrived, or a waiter's condition may hold
    std::deque<HandOver*> Pending;
    unsigned WakeCount = 0;
    bool DrainPosted = false;
};

HandOverQueue& Queue()
{
    static HandOverQueue queue;
    return queue;
}

bool OnMainThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void RunOne(HandOver* entry)
{
    try {
        (*entry->Call)();
    } catch (...) {
        entry->Error = std::current_exception();
    }
    HandOverQueue& queue = Queue();
    std::lock_guard guard(queue.Lock);
    entry->Done = true;
    entry->Finished.store(true, std::memory_order_release);
    queue.WorkerWake.notify_all();
}

} // namespace

int RunPendingHandOvers()
{
    HandOverQueue& queue = Queue();
    int ran = 0;
    for (;;) {
        HandOver* entry = nullptr;
        {
            std::lock_guard guard(queue.Lock);
            queue.DrainPosted = false;
            if (queue.Pending.empty())
                return ran;
            entry = queue.Pending.front();
            queue.Pending.pop_front();
        }
        RunOne(entry);
        ++ran;
    }
}

void RunOnMainThread(const std::function<void()>& call)
{
    if (OnMainThread()) {
        call();
        return;
    }
    HandOverQueue& queue = Queue();
    HandOver entry;
    entry.Call = &call;
    {
        std::lock_guard guard(queue.Lock);
        queue.Pending.push_back(&entry);
        // One queued drain serves every hand-over that arrives before it runs. It is posted under
        // the lock, which the drain takes before Qt frees the posted call: that orders the two
        // for thread checkers, which do not see Qt's own lock.
        if (!queue.DrainPosted) {
            queue.DrainPosted = true;
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [] { RunPendingHandOvers(); }, Qt::QueuedConnection);
        }
        queue.MainWake.notify_all();
    }
    // A report's handler is usually done within microseconds: look for a while before sleeping,
    // since waking a sleeping thread on another processor costs more than most handlers.
    const auto spinEnd = std::chrono::steady_clock::now() + SpinBeforeSleeping;
    while (!entry.Finished.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < spinEnd)
        std::this_thread::yield();
    {
        std::unique_lock guard(queue.Lock);
        queue.WorkerWake.wait(guard, [&] { return entry.Done; });
    }
    if (entry.Error)
        std::rethrow_exception(entry.Error);
}

void WaitServingHandOvers(const std::function<bool()>& done)
{
    HandOverQueue& queue = Queue();
    for (;;) {
        if (done())
            return;
        unsigned seen;
        {
            std::lock_guard guard(queue.Lock);
            seen = queue.WakeCount;
        }
        if (RunPendingHandOvers() > 0)
            continue;
        if (done())
            return;
        std::unique_lock guard(queue.Lock);
        queue.MainWake.wait(guard, [&] { return !queue.Pending.empty() || queue.WakeCount != seen; });
    }
}

void WakeMainThreadWaiters()
{
    HandOverQueue& queue = Queue();
    std::lock_guard guard(queue.Lock);
    ++queue.WakeCount;
    queue.MainWake.notify_all();
}

} // namespace base
