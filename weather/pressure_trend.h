// The pressure tendency: how much the pressure changed over the last three hours, and its class
// in the Met Office's wording, from the values the archive holds (the station's hours and the
// live 5-minute samples, in mm Hg as the station gives them).
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <span>

namespace weather {

// A pressure value at a minute of the wall clock, counted as the archive counts minutes (from
// 1 January 2000); an hour's value stands at its first minute, a sample's at its interval's start.
struct TTimedPressure
{
    std::int64_t Minute = 0;
    double MmHg = 0;
};

enum class TPressureTendency {
    RisingVeryRapidly,
    RisingQuickly,
    Rising,
    RisingSlowly,
    Steady,
    FallingSlowly,
    Falling,
    FallingQuickly,
    FallingVeryRapidly
};

// The tendency is the change over this span.
inline constexpr std::int64_t TendencyPeriodMinutes = 180;
// The newest value must lie this close to now, and the older one this close to three hours before
// the newest; the change between them is scaled to three hours. An hour's value stands for the
// whole hour, so half an hour either way still describes "three hours ago".
inline constexpr std::int64_t TendencyToleranceMinutes = 30;

// Class boundaries of the change over three hours, in hPa: below SteadyBelowHpa either way it is
// steady; up to SlowUpToHpa slow, up to PlainUpToHpa plain, up to QuickUpToHpa quick, beyond that
// very rapid. A change of exactly 0.1 hPa is already slow, of exactly 1.5 still slow, and so on.
inline constexpr double SteadyBelowHpa = 0.1;
inline constexpr double SlowUpToHpa = 1.5;
inline constexpr double PlainUpToHpa = 3.5;
inline constexpr double QuickUpToHpa = 6.0;

struct TPressureTrend
{
    double ChangeMmHg = 0; // over three hours
    double ChangeHpa = 0;
    TPressureTendency Tendency = TPressureTendency::Steady;
};

TPressureTendency TendencyOfChange(double changeHpa);

// The change over the three hours before `nowMinute`, from values in any order; none when fewer
// than three hours are known: no value near now, or none near three hours before it.
std::optional<TPressureTrend> PressureTrend(std::span<const TTimedPressure> values, std::int64_t nowMinute);

// «медленно растёт», «не меняется», «быстро падает»...; «недостаточно данных» for none.
QString TendencyText(const std::optional<TPressureTrend>& trend);
// «+1,3 мм рт.ст. за 3 часа, растёт», or «недостаточно данных».
QString TrendText(const std::optional<TPressureTrend>& trend);

} // namespace weather
