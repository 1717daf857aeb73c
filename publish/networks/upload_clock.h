// The time the uploaders go by, and their alarms. The program uses the system clock and Qt's
// timers; tests and the benchmark put in a clock of their own, so that a back-off of 30 minutes
// or a service's retry time is tried in no time.
#pragma once

#include <QDateTime>
#include <QTimer>
#include <functional>
#include <memory>

namespace publish {

// One wake-up at a time: setting it again replaces the time set before.
class TAlarm
{
public:
    virtual ~TAlarm() = default;
    // `due` runs from the event loop once `when` has come (at once when it has passed).
    virtual void Set(const QDateTime& when) = 0;
    virtual void Cancel() = 0;
};

class TUploadClock
{
public:
    virtual ~TUploadClock() = default;
    virtual QDateTime NowUtc() const = 0;
    virtual std::unique_ptr<TAlarm> NewAlarm(std::function<void()> due) = 0;
};

// The computer's clock.
class TSystemClock : public TUploadClock
{
public:
    QDateTime NowUtc() const override;
    std::unique_ptr<TAlarm> NewAlarm(std::function<void()> due) override;
};

} // namespace publish
