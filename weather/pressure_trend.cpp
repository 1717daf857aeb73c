// The three-hour pressure tendency; see pressure_trend.h.
#include "weather/pressure_trend.h"

#include "weather/signed_number.h"
#include "weather/units.h"

#include <cmath>

namespace weather {

namespace {

// The value nearest to `target` within the tolerance; the later one of two equally near.
const TTimedPressure* NearestTo(std::span<const TTimedPressure> values, std::int64_t target)
{
    const TTimedPressure* nearest = nullptr;
    std::int64_t nearestDistance = TendencyToleranceMinutes + 1;
    for (const TTimedPressure& value : values) {
        if (!std::isfinite(value.MmHg))
            continue;
        const std::int64_t distance = std::abs(value.Minute - target);
        if (distance < nearestDistance || (distance == nearestDistance && nearest && value.Minute > nearest->Minute)) {
            nearest = &value;
            nearestDistance = distance;
        }
    }
    return nearest;
}

} // namespace

TPressureTendency TendencyOfChange(double changeHpa)
{
    const double size = std::fabs(changeHpa);
    if (size < SteadyBelowHpa)
        return TPressureTendency::Steady;
    const bool rising = changeHpa > 0;
    if (size <= SlowUpToHpa)
        return rising ? TPressureTendency::RisingSlowly : TPressureTendency::FallingSlowly;
    if (size <= PlainUpToHpa)
        return rising ? TPressureTendency::Rising : TPressureTendency::Falling;
    if (size <= QuickUpToHpa)
        return rising ? TPressureTendency::RisingQuickly : TPressureTendency::FallingQuickly;
    return rising ? TPressureTendency::RisingVeryRapidly : TPressureTendency::FallingVeryRapidly;
}

std::optional<TPressureTrend> PressureTrend(std::span<const TTimedPressure> values, std::int64_t nowMinute)
{
    // The newest value near now: the latest one within the tolerance, not the nearest, so that a
    // fresh sample wins over the hour it belongs to.
    const TTimedPressure* newest = nullptr;
    for (const TTimedPressure& value : values)
        if (std::abs(value.Minute - nowMinute) <= TendencyToleranceMinutes && std::isfinite(value.MmHg) &&
            (!newest || value.Minute > newest->Minute))
            newest = &value;
    if (!newest)
        return std::nullopt;
    const TTimedPressure* older = NearestTo(values, newest->Minute - TendencyPeriodMinutes);
    if (!older)
        return std::nullopt;
    const double span = static_cast<double>(newest->Minute - older->Minute);
    TPressureTrend trend;
    trend.ChangeMmHg = (newest->MmHg - older->MmHg) * static_cast<double>(TendencyPeriodMinutes) / span;
    trend.ChangeHpa = MmHgToHpa(trend.ChangeMmHg);
    trend.Tendency = TendencyOfChange(trend.ChangeHpa);
    return trend;
}

QString TendencyText(const std::optional<TPressureTrend>& trend)
{
    if (!trend)
        return QStringLiteral("недостаточно данных");
    switch (trend->Tendency) {
    case TPressureTendency::RisingVeryRapidly:
        return QStringLiteral("очень быстро растёт");
    case TPressureTendency::RisingQuickly:
        return QStringLiteral("быстро растёт");
    case TPressureTendency::Rising:
        return QStringLiteral("растёт");
    case TPressureTendency::RisingSlowly:
        return QStringLiteral("медленно растёт");
    case TPressureTendency::Steady:
        return QStringLiteral("не меняется");
    case TPressureTendency::FallingSlowly:
        return QStringLiteral("медленно падает");
    case TPressureTendency::Falling:
        return QStringLiteral("падает");
    case TPressureTendency::FallingQuickly:
        return QStringLiteral("быстро падает");
    case TPressureTendency::FallingVeryRapidly:
        return QStringLiteral("очень быстро падает");
    }
    return {};
}

QString TrendText(const std::optional<TPressureTrend>& trend)
{
    if (!trend)
        return TendencyText(trend);
    return QStringLiteral("%1 мм рт.ст. за 3 часа, %2").arg(SignedNumber(trend->ChangeMmHg, 1), TendencyText(trend));
}

} // namespace weather
