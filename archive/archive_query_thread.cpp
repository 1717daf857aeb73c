#include "archive/archive_query_thread.h"
#include "archive/archive_reader.h"

#include <QMetaObject>

namespace archive {

TArchiveQueryThread::TArchiveQueryThread(QObject* context, TAnswered answered)
    : FContext(context)
    , FAnswered(std::move(answered))
    , FThread([this] { Run(); })
{
}

TArchiveQueryThread::~TArchiveQueryThread()
{
    {
        const std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_one();
    FThread.join();
}

void TArchiveQueryThread::Ask(const TRequest& request)
{
    {
        const std::lock_guard lock(FMutex);
        TRequest merged = FPending.value_or(TRequest{});
        merged.Path = request.Path;
        if (request.ViewId != 0) {
            merged.ViewId = request.ViewId;
            merged.First = request.First;
            merged.Last = request.Last;
        }
        if (request.HoldingsId != 0)
            merged.HoldingsId = request.HoldingsId;
        FPending = merged;
    }
    FWake.notify_one();
}

void TArchiveQueryThread::Run()
{
    for (;;) {
        TRequest request;
        {
            std::unique_lock lock(FMutex);
            FWake.wait(lock, [this] { return FStop || FPending.has_value(); });
            if (FStop)
                return;
            request = *FPending;
            FPending.reset();
        }
        // Queued to the context's thread; Qt drops the call if the context is gone by then.
        QMetaObject::invokeMethod(
            FContext, [answered = FAnswered, answer = Read(request)] { answered(answer); }, Qt::QueuedConnection);
    }
}

TArchiveQueryThread::TAnswer TArchiveQueryThread::Read(const TRequest& request) const
{
    TAnswer answer;
    answer.ViewId = request.ViewId;
    answer.HoldingsId = request.HoldingsId;
    // Opened for each request: the store may have put a damaged file aside and begun a fresh one.
    TArchiveReader reader(request.Path);
    answer.Ok = reader.IsOpen();
    if (!answer.Ok)
        return answer;
    if (request.ViewId != 0)
        answer.Hours = reader.Hours(request.First, request.Last);
    if (request.HoldingsId != 0)
        answer.Holdings = reader.Holdings();
    return answer;
}

} // namespace archive
