// The alarm rules: the station's readings, the pressure's three-hour change, the archive's writes
// and the passing of time go in; out comes which alarm starts or ends, with a Russian summary and
// body for the notification and the window. A value must come back past its threshold by the
// hysteresis (alarm_settings.h) before its alarm ends, so a value hovering at the threshold rings
// once; a value the station does not have leaves its alarm as it is.
#pragma once

#include "weather/alarm_settings.h"

#include <QString>
#include <array>
#include <chrono>
#include <optional>
#include <vector>

namespace weather {

enum class TAlarmKind { Frost, Heat, PressureFall, Humidity, Silence, ArchiveFailure };
inline constexpr int AlarmKindCount = 6;

// «Заморозок», «Жара»...: the alarm's name in settings and lists.
QString AlarmTitle(TAlarmKind kind);

// What one report of the station tells the rules; empty where the station has no value (or the
// archive too short a pressure history for a change over three hours).
struct TAlarmReadings
{
    std::optional<double> OutdoorC;
    std::optional<double> HumidityPercent;
    std::optional<double> PressureChange3hMmHg;
};

struct TAlarmChange
{
    TAlarmKind Kind = TAlarmKind::Frost;
    bool Started = true; // false: the alarm ended
    QString Summary;
    QString Body;
};

class TAlarmEngine
{
public:
    // A monotonic clock, so that setting the computer's clock neither rings nor hides a silence.
    using TClock = std::chrono::steady_clock;

    // The station counts as silent from `now`, the program's start, until its first report.
    TAlarmEngine(const TAlarmSettings& settings, TClock::time_point now);

    const TAlarmSettings& Settings() const { return FSettings; }
    // Takes new (checked) settings. An alarm switched off while it rings ends; the others are
    // weighed against their new thresholds with the next report.
    std::vector<TAlarmChange> SetSettings(const TAlarmSettings& settings);
    // One report of the station at `now`.
    std::vector<TAlarmChange> TakeReport(const TAlarmReadings& readings, TClock::time_point now);
    // How the last write to the archive went; `message` (the archive's own, Russian) says why it failed.
    std::vector<TAlarmChange> TakeArchiveResult(bool ok, const QString& message);
    // The passing of time: a silent station rings once its minutes are up. Call every few seconds.
    std::vector<TAlarmChange> Tick(TClock::time_point now);

    bool Ringing(TAlarmKind kind) const { return FRinging[Index(kind)]; }

private:
    static std::size_t Index(TAlarmKind kind) { return static_cast<std::size_t>(kind); }
    // Starts or ends the alarm when `start` or `end` holds and it is not already so. `body` makes
    // the message's text, only then: a report that changes nothing costs no text.
    template <typename TBody>
    void Weigh(std::vector<TAlarmChange>& changes, TAlarmKind kind, bool on, bool start, bool end,
               const QString& summary, const TBody& body);
    void Change(std::vector<TAlarmChange>& changes, TAlarmKind kind, bool start, const QString& summary,
                const QString& body);

    TAlarmSettings FSettings;
    TClock::time_point FLastHeard;
    std::array<bool, AlarmKindCount> FRinging{};
};

} // namespace weather
