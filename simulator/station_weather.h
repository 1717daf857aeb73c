// The weather the stand-in station measures: a deterministic function of a seed and the time, so
// that live readings, logged records and filled history agree and every run can be repeated.
#pragma once

#include <chrono>
#include <cstdint>

namespace simulator {

using TStationTime = std::chrono::sys_time<std::chrono::milliseconds>;

struct TWeather
{
    double Indoor = 0;   // degrees Celsius, about 20..25
    double Outdoor = 0;  // degrees Celsius, seasonal and daily cycle with noise
    double Pressure = 0; // mm of mercury, about 735..775
    double Humidity = 0; // percent, 15..100
};

TWeather WeatherAt(std::uint32_t seed, TStationTime time);

// A well-mixed 64-bit hash of the seed, a channel and an index: the model's only source of chance.
std::uint64_t Hash(std::uint64_t seed, std::uint64_t channel, std::uint64_t index);

// A number in [0, 1) from the hash.
double Chance(std::uint64_t seed, std::uint64_t channel, std::uint64_t index);

} // namespace simulator
