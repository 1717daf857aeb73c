#include "archive/archive_query_thread.h"
#include "archive/archive_reader.h"

#include <QCoreApplication>
#include <QEvent>

namespace archive {

// The receiver of the query thread's "answers are there" events on the context's thread.
class TArchiveQueryThread::TDelivery : public QObject
{
public:
    explicit TDelivery(TArchiveQueryThread& owner)
        : Owner(owner)
    {
    }

protected:
    // The event itself is not looked at: it was made on the query thread, and is known to be
    // complete only once the answers' lock has been taken.
    void customEvent(QEvent*) override { Owner.Deliver(); }

private:
    TArchiveQueryThread& Owner;
};

TArchiveQueryThread::TArchiveQueryThread(QObject* context, TAnswered answered)
    : FAnswered(std::move(answered))
    , FDelivery(std::make_unique<TDelivery>(*this))
{
    FDelivery->moveToThread(context->thread());
    FThread = std::thread([this] { Run(); });
}

TArchiveQueryThread::~TArchiveQueryThread()
{
    {
        const std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_one();
    FThread.join();
    // Answers not yet delivered go with the receiver, and Qt drops the events posted to it.
    FDelivery.reset();
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
        TAnswer answer = Read(request);
        // Posted under the lock that Deliver takes before it looks at anything: that orders the
        // answer and the event before their use and Qt's freeing of the event.
        const std::lock_guard lock(FMutex);
        FAnswers.push_back(std::move(answer));
        QCoreApplication::postEvent(FDelivery.get(), new QEvent(QEvent::User));
    }
}

void TArchiveQueryThread::Deliver()
{
    std::deque<TAnswer> answers;
    {
        const std::lock_guard lock(FMutex);
        answers.swap(FAnswers);
    }
    for (const TAnswer& answer : answers)
        FAnswered(answer);
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
