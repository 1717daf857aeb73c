// The conversions and derived values against the reference figures of the weather networks'
// documentation and the weather libraries' own test values.
#include "weather/units.h"

#include <gtest/gtest.h>

namespace {

TEST(WeatherUnits, ConversionsMatchTheReferenceFigures)
{
    EXPECT_NEAR(weather::HpaToMmHg(1013.25), 760.00, 0.005);
    EXPECT_NEAR(weather::MmHgToHpa(760.0), 1013.25, 0.005);
    EXPECT_NEAR(weather::HpaToInHg(1013.25), 29.9213, 0.00005);
    EXPECT_NEAR(weather::MmHgToInHg(760.0), 29.9213, 0.00005);
    EXPECT_NEAR(weather::CelsiusToFahrenheit(-12.3), 9.86, 1e-9);
    EXPECT_NEAR(weather::FahrenheitToCelsius(9.86), -12.3, 1e-9);
    EXPECT_DOUBLE_EQ(weather::HpaToPa(1013.25), 101325.0);
    EXPECT_NEAR(weather::AltimeterSettingHpa(948.08, 304.8), 983.0, 0.05);
}

TEST(WeatherUnits, DewPointByMagnus)
{
    struct Case
    {
        double Fahrenheit, Humidity, DewFahrenheit;
    };
    for (const Case& c : {Case{68, 50, 48.66}, Case{32, 50, 15.49}, Case{-10, 50, -23.48}}) {
        const auto dew = weather::DewPointCelsius(weather::FahrenheitToCelsius(c.Fahrenheit), c.Humidity);
        ASSERT_TRUE(dew.has_value());
        EXPECT_NEAR(weather::CelsiusToFahrenheit(*dew), c.DewFahrenheit, 0.01) << c.Fahrenheit;
    }
    EXPECT_NEAR(*weather::DewPointCelsius(20, 50), 9.25, 0.01);
    EXPECT_FALSE(weather::DewPointCelsius(20, 0).has_value());
    EXPECT_FALSE(weather::DewPointCelsius(20, 101).has_value());
}

TEST(WeatherUnits, SeaLevelPressureRisesWithElevation)
{
    EXPECT_DOUBLE_EQ(weather::SeaLevelPressureHpa(1000, 10, 0), 1000);
    // About 12 hPa per 100 m near the ground.
    EXPECT_NEAR(weather::SeaLevelPressureHpa(1000, 10, 100) - 1000, 12.0, 0.5);
}

} // namespace
