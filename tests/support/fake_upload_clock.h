// A clock for the uploaders that the test moves: alarms fire when the test runs them, or, in
// fast-forward, from the event loop as soon as they are set, the clock jumping to their time. A
// back-off of 30 minutes or a day's outage then takes no time at all.
#pragma once

#include "publish/networks/upload_clock.h"

#include <QTimer>
#include <list>
#include <memory>

namespace testsupport {

class TFakeUploadClock : public publish::TUploadClock
{
public:
    explicit TFakeUploadClock(const QDateTime& start)
        : FNow(start.toUTC())
    {
    }
    QDateTime NowUtc() const override { return FNow; }
    void Advance(qint64 seconds) { FNow = FNow.addSecs(seconds); }

    std::unique_ptr<publish::TAlarm> NewAlarm(std::function<void()> due) override
    {
        return std::make_unique<TFakeAlarm>(*this, std::move(due));
    }

    // Moves the clock to the earliest alarm set (never back) and fires it; false when none is set.
    bool RunNextAlarm()
    {
        TFakeAlarm* next = nullptr;
        for (TFakeAlarm* alarm : FAlarms)
            if (alarm->When.isValid() && (!next || alarm->When < next->When))
                next = alarm;
        if (!next)
            return false;
        Fire(*next);
        return true;
    }

    // The time of the earliest alarm set; invalid when none is.
    QDateTime NextAlarm() const
    {
        QDateTime next;
        for (const TFakeAlarm* alarm : FAlarms)
            if (alarm->When.isValid() && (!next.isValid() || alarm->When < next))
                next = alarm->When;
        return next;
    }

    // While on, an alarm fires from the event loop as soon as it is set.
    bool FastForward = false;

private:
    struct TFakeAlarm : publish::TAlarm
    {
        TFakeAlarm(TFakeUploadClock& clock, std::function<void()> due)
            : Clock(clock)
            , Due(std::move(due))
        {
            Clock.FAlarms.push_back(this);
        }
        ~TFakeAlarm() override { Clock.FAlarms.remove(this); }
        void Set(const QDateTime& when) override
        {
            When = when;
            const quint64 serial = ++Serial;
            if (Clock.FastForward)
                QTimer::singleShot(0, &Context, [this, serial] {
                    if (Serial == serial && When.isValid())
                        Clock.Fire(*this);
                });
        }
        void Cancel() override
        {
            When = QDateTime();
            ++Serial;
        }
        TFakeUploadClock& Clock;
        std::function<void()> Due;
        QDateTime When;
        quint64 Serial = 0;
        QObject Context; // a fast-forward call dies with its alarm
    };

    void Fire(TFakeAlarm& alarm)
    {
        if (alarm.When > FNow)
            FNow = alarm.When;
        alarm.When = QDateTime();
        ++alarm.Serial;
        alarm.Due();
    }

    QDateTime FNow;
    std::list<TFakeAlarm*> FAlarms;
};

} // namespace testsupport
