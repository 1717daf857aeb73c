// The archive page's long reads on a thread of their own: the hours of a week, month or year and
// how much the archive holds, each read afresh through a read-only connection (archive_reader.h),
// so the window never waits for them. Only the newest request of each kind counts: one not yet
// taken is replaced by the next. The answers come back on the thread of the context object, handed
// over under a lock of ours, so that thread checkers see them ordered (Qt's event queue they cannot
// see into).
#pragma once

#include "archive/archive_store.h"

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace archive {

class TArchiveQueryThread
{
public:
    struct TRequest
    {
        QString Path;
        // The hours of a period, asked as request ViewId; none when 0.
        std::uint64_t ViewId = 0;
        THourKey First = 0;
        THourKey Last = -1;
        // How much the archive holds, asked as request HoldingsId; none when 0.
        std::uint64_t HoldingsId = 0;
    };
    struct TAnswer
    {
        // False when the archive could not be read: the asker reads it itself.
        bool Ok = false;
        std::uint64_t ViewId = 0;
        std::vector<TArchiveHour> Hours;
        std::uint64_t HoldingsId = 0;
        THoldings Holdings;
    };
    using TAnswered = std::function<void(const TAnswer& answer)>;

    // Answers go to `answered`, called on `context`'s thread; `context` must outlive this object.
    TArchiveQueryThread(QObject* context, TAnswered answered);
    // Waits for the read in progress; the answers not yet delivered are dropped.
    ~TArchiveQueryThread();
    TArchiveQueryThread(const TArchiveQueryThread&) = delete;
    TArchiveQueryThread& operator=(const TArchiveQueryThread&) = delete;

    // A view or holdings request (or both) replaces one of the same kind not yet taken.
    void Ask(const TRequest& request);

private:
    class TDelivery;
    void Run();
    TAnswer Read(const TRequest& request) const;
    // On the context's thread: the answers read so far, each to `FAnswered`.
    void Deliver();

    TAnswered FAnswered;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::optional<TRequest> FPending;
    bool FStop = false;
    std::deque<TAnswer> FAnswers;         // read, not yet delivered; under FMutex
    std::unique_ptr<TDelivery> FDelivery; // on the context's thread, gone after the thread ended
    std::thread FThread;
};

} // namespace archive
