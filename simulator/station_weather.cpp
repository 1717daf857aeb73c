#include "simulator/station_weather.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace simulator {
namespace {

enum Channel : std::uint64_t { OutdoorSlow = 11, OutdoorFast, IndoorNoise, PressureSlow, PressureFast, HumidityNoise };

// Smooth noise in [-1, 1]: random values at whole multiples of the period, cosine-blended between.
double Noise(std::uint32_t seed, std::uint64_t channel, double hours, double periodHours)
{
    const double x = hours / periodHours;
    const double base = std::floor(x);
    const double f = x - base;
    const auto index = static_cast<std::uint64_t>(static_cast<std::int64_t>(base));
    const double a = Chance(seed, channel, index) * 2 - 1;
    const double b = Chance(seed, channel, index + 1) * 2 - 1;
    const double w = (1 - std::cos(f * std::numbers::pi)) / 2;
    return a + (b - a) * w;
}

} // namespace

std::uint64_t Hash(std::uint64_t seed, std::uint64_t channel, std::uint64_t index)
{
    // splitmix64 over the three inputs in turn
    std::uint64_t z = seed * 0x9E3779B97F4A7C15ull;
    for (std::uint64_t v : {channel, index}) {
        z += v + 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
    }
    return z;
}

double Chance(std::uint64_t seed, std::uint64_t channel, std::uint64_t index)
{
    return static_cast<double>(Hash(seed, channel, index) >> 11) / 9007199254740992.0;
}

TWeather WeatherAt(std::uint32_t seed, TStationTime time)
{
    using namespace std::chrono;
    const double hours = duration<double, std::ratio<3600>>(time.time_since_epoch()).count();
    const auto day = floor<days>(time);
    const double hourOfDay = duration<double, std::ratio<3600>>(time - day).count();
    const year_month_day date{day};
    const double dayOfYear = static_cast<double>((day - sys_days{date.year() / January / 1}).count());
    const double tau = 2 * std::numbers::pi;

    TWeather w;
    // Coldest in mid-January, warmest in mid-July; the day is warmest at three in the afternoon.
    const double season = 6 - 14 * std::cos(tau * (dayOfYear - 15) / 365.25);
    const double daily = std::cos(tau * (hourOfDay - 15) / 24);
    w.Outdoor = season + 5 * daily + 4 * Noise(seed, OutdoorSlow, hours, 18) + Noise(seed, OutdoorFast, hours, 3);
    w.Indoor =
        std::clamp(22.5 + 1.2 * std::cos(tau * (hourOfDay - 19) / 24) + Noise(seed, IndoorNoise, hours, 8), 20.0, 25.0);
    w.Pressure = 755 + 14 * Noise(seed, PressureSlow, hours, 48) + 3 * Noise(seed, PressureFast, hours, 6);
    w.Humidity = std::clamp(68 - 14 * daily + 12 * Noise(seed, HumidityNoise, hours, 12), 15.0, 100.0);
    return w;
}

} // namespace simulator
