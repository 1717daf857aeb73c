// The system clock's alarms; see upload_clock.h.
#include "publish/networks/upload_clock.h"

#include <algorithm>

namespace publish {

namespace {

// A timer that checks the clock when it fires: a timer may fire a little early, and a wait of
// hours is made of shorter ones, so that a clock set forward is noticed.
class TSystemAlarm : public TAlarm
{
public:
    explicit TSystemAlarm(std::function<void()> due)
        : FDue(std::move(due))
    {
        FTimer.setSingleShot(true);
        FTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Fired(); });
    }
    void Set(const QDateTime& when) override
    {
        FWhen = when;
        Arm();
    }
    void Cancel() override
    {
        FWhen = QDateTime();
        FTimer.stop();
    }

private:
    void Arm()
    {
        constexpr qint64 LongestWaitMs = 60 * 60 * 1000;
        const qint64 left = QDateTime::currentDateTimeUtc().msecsTo(FWhen);
        FTimer.start(static_cast<int>(std::clamp<qint64>(left, 0, LongestWaitMs)));
    }
    void Fired()
    {
        if (!FWhen.isValid())
            return;
        if (QDateTime::currentDateTimeUtc() < FWhen) {
            Arm();
            return;
        }
        FWhen = QDateTime();
        FDue();
    }
    QTimer FTimer;
    QDateTime FWhen;
    std::function<void()> FDue;
};

} // namespace

QDateTime TSystemClock::NowUtc() const
{
    return QDateTime::currentDateTimeUtc();
}

std::unique_ptr<TAlarm> TSystemClock::NewAlarm(std::function<void()> due)
{
    return std::make_unique<TSystemAlarm>(std::move(due));
}

} // namespace publish
