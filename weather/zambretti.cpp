// The Zambretti forecaster; see zambretti.h.
#include "weather/zambretti.h"

#include "weather/signed_number.h"
#include "weather/units.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>

namespace weather {

namespace {

// The temperature the reduction to sea level assumes when the outdoor sensor has no value: the
// standard atmosphere's.
constexpr double StandardCelsius = 15.0;
// Summer moves the normalised pressure of a rising or falling barometer by this much.
constexpr double SummerShiftHpa = 3.2;

// Each trend's table: F = Slope × (Origin − P'), rounded, picks a letter.
struct TZambrettiTable
{
    double Slope;
    double Origin;
    std::string_view Letters;
};
constexpr TZambrettiTable RisingTable{0.1740, 1031.40, "ABBCFGIJLMMQTY"};
constexpr TZambrettiTable FallingTable{0.1553, 1029.95, "BDHORUVXXZ"};
constexpr TZambrettiTable SteadyTable{0.2314, 1030.81, "ABBBEKNNPPSWWXXXZ"};

bool IsSummer(int month, THemisphere hemisphere)
{
    const bool northernSummer = month >= 4 && month <= 9;
    return hemisphere == THemisphere::North ? northernSummer : !northernSummer;
}

char Pick(const TZambrettiTable& table, double normalised)
{
    const double f = std::round(table.Slope * (table.Origin - normalised));
    const double last = static_cast<double>(table.Letters.size() - 1);
    return table.Letters[static_cast<std::size_t>(std::clamp(f, 0.0, last))];
}

constexpr std::array<const char16_t*, 26> Forecasts{
    u"Устойчивая хорошая погода",
    u"Хорошая погода",
    u"Погода улучшается",
    u"Хорошая погода, но она становится менее устойчивой",
    u"Хорошая погода, возможны кратковременные осадки",
    u"Преимущественно хорошая погода, улучшение",
    u"Преимущественно хорошая погода, в первой половине возможны кратковременные осадки",
    u"Преимущественно хорошая погода, позднее кратковременные осадки",
    u"Вначале кратковременные осадки, затем улучшение",
    u"Переменчивая погода, постепенное улучшение",
    u"Преимущественно хорошая погода, вероятны кратковременные осадки",
    u"Довольно неустойчивая погода, позднее прояснение",
    u"Неустойчивая погода, вероятно улучшение",
    u"Кратковременные осадки с прояснениями",
    u"Кратковременные осадки, погода становится неустойчивой",
    u"Переменчивая погода, временами осадки",
    u"Неустойчивая погода, непродолжительные прояснения",
    u"Неустойчивая погода, позднее осадки",
    u"Неустойчивая погода, временами осадки",
    u"Преимущественно очень неустойчивая погода",
    u"Временами осадки, погода ухудшается",
    u"Временами осадки, очень неустойчивая погода",
    u"Частые осадки",
    u"Осадки, очень неустойчивая погода",
    u"Штормовая погода, возможно улучшение",
    u"Штормовая погода, сильные осадки",
};

} // namespace

char ZambrettiLetter(double seaLevelHpa, double change3hHpa, int month, THemisphere hemisphere)
{
    double normalised = 950.0 + 100.0 * (seaLevelHpa - ZambrettiLowerHpa) / (ZambrettiUpperHpa - ZambrettiLowerHpa);
    const bool summer = IsSummer(month, hemisphere);
    if (change3hHpa >= ZambrettiTrendHpaPer3h) {
        if (summer)
            normalised += SummerShiftHpa;
        return Pick(RisingTable, normalised);
    }
    if (change3hHpa <= -ZambrettiTrendHpaPer3h) {
        if (summer)
            normalised -= SummerShiftHpa;
        return Pick(FallingTable, normalised);
    }
    return Pick(SteadyTable, normalised);
}

QString ZambrettiText(char letter)
{
    if (letter < 'A' || letter > 'Z')
        return {};
    return QString::fromUtf16(Forecasts[static_cast<std::size_t>(letter - 'A')]);
}

QString ForecastSettingsProblem(const TForecastSettings& settings)
{
    if (settings.ElevationM < MinElevationM || settings.ElevationM > MaxElevationM)
        return QStringLiteral("Высота над уровнем моря должна быть от %1 до %2 м.")
            .arg(PlainNumber(MinElevationM), PlainNumber(MaxElevationM));
    return {};
}

std::optional<TForecast> LocalForecast(double stationMmHg, const std::optional<TPressureTrend>& trend,
                                       std::optional<double> outdoorCelsius, int month,
                                       const TForecastSettings& settings)
{
    if (!trend || !std::isfinite(stationMmHg))
        return std::nullopt;
    const double seaLevel =
        SeaLevelPressureHpa(MmHgToHpa(stationMmHg), outdoorCelsius.value_or(StandardCelsius), settings.ElevationM);
    TForecast forecast;
    forecast.Letter = ZambrettiLetter(seaLevel, trend->ChangeHpa, month, settings.Hemisphere);
    forecast.Text = ZambrettiText(forecast.Letter);
    return forecast;
}

} // namespace weather
