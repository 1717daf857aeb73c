// The Zambretti forecaster: the tables' own worked check, cases of each table in summer and
// winter of both hemispheres, the ends of the tables, and the reduction of the station's pressure
// to sea level.
#include "weather/units.h"
#include "weather/zambretti.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <set>

namespace {

using weather::THemisphere;

TEST(Zambretti, LettersOfEachTable)
{
    struct Case
    {
        double SeaLevelHpa, ChangeHpa;
        int Month;
        THemisphere Hemisphere;
        char Letter;
    };
    const Case cases[] = {
        // The worked check: 1020 hPa, steady: F = 0.2314 × 10.81 = 2.50, rounded 3: "Fine weather".
        {1020, 0, 1, THemisphere::North, 'B'},
        {1020, 0.29, 7, THemisphere::North, 'B'}, // under 0.1 hPa an hour is still steady
        {1020, -0.29, 7, THemisphere::North, 'B'},
        // Rising, 1010 hPa: winter F = 0.174 × 21.4 = 3.72 → F; summer 0.174 × 18.2 = 3.17 → C.
        {1010, 0.3, 1, THemisphere::North, 'F'},
        {1010, 0.3, 7, THemisphere::North, 'C'},
        {1010, 2, 7, THemisphere::South, 'F'},
        {1010, 2, 1, THemisphere::South, 'C'},
        {1010, 2, 4, THemisphere::North, 'C'}, // April is summer in the north
        {1010, 2, 3, THemisphere::North, 'F'},
        // Falling, 1010 hPa: winter F = 0.1553 × 19.95 = 3.10 → O; summer × 23.15 = 3.60 → R.
        {1010, -0.3, 1, THemisphere::North, 'O'},
        {1010, -4, 9, THemisphere::North, 'R'},
        {1010, -4, 10, THemisphere::North, 'O'},
        {1010, -4, 10, THemisphere::South, 'R'},
        // Steady, low: F = 0.2314 × 40.81 = 9.44 → P.
        {990, 0, 6, THemisphere::North, 'P'},
        // Beyond the tables' ends the first and the last letter.
        {1045, 0, 1, THemisphere::North, 'A'},
        {940, 0, 1, THemisphere::North, 'Z'},
        {1045, 3, 1, THemisphere::North, 'A'},
        {940, 3, 1, THemisphere::North, 'Y'},
        {1045, -3, 1, THemisphere::North, 'B'},
        {940, -3, 1, THemisphere::North, 'Z'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(weather::ZambrettiLetter(c.SeaLevelHpa, c.ChangeHpa, c.Month, c.Hemisphere), c.Letter)
            << c.SeaLevelHpa << " hPa, " << c.ChangeHpa << " hPa/3 h, month " << c.Month;
}

TEST(Zambretti, EveryLetterHasItsOwnRussianText)
{
    std::set<QString> texts;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const QString text = weather::ZambrettiText(letter);
        EXPECT_FALSE(text.isEmpty()) << letter;
        EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("^[А-Я][а-яё ,]+$")))) << letter;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 26u);
    EXPECT_EQ(weather::ZambrettiText('B'), QStringLiteral("Хорошая погода"));
    EXPECT_TRUE(weather::ZambrettiText('a').isEmpty());
}

TEST(Zambretti, LocalForecastFromTheStationsPressure)
{
    const weather::TPressureTrend steady{0, 0, weather::TPressureTendency::Steady};
    // 765 mm Hg = 1019.9 hPa at sea level: the worked check's "Fine weather".
    auto forecast = weather::LocalForecast(765, steady, 10.0, 1, {});
    ASSERT_TRUE(forecast.has_value());
    EXPECT_EQ(forecast->Letter, 'B');
    EXPECT_EQ(forecast->Text, QStringLiteral("Хорошая погода"));

    // 200 m up the same air reads about 18 mm Hg less; the elevation setting brings it back.
    const double upHill = weather::HpaToMmHg(weather::MmHgToHpa(765) / weather::SeaLevelPressureHpa(1.0, 10.0, 200));
    EXPECT_EQ(weather::LocalForecast(upHill, steady, 10.0, 1, {0, THemisphere::North})->Letter, 'P');
    EXPECT_EQ(weather::LocalForecast(upHill, steady, 10.0, 1, {200, THemisphere::North})->Letter, 'B');
    // Without the outdoor temperature the reduction takes 15 °C: nearly the same.
    EXPECT_EQ(weather::LocalForecast(upHill, steady, std::nullopt, 1, {200, THemisphere::North})->Letter, 'B');

    EXPECT_FALSE(weather::LocalForecast(765, std::nullopt, 10.0, 1, {}).has_value());
}

TEST(Zambretti, ElevationOutsideTheRangeIsRefused)
{
    EXPECT_TRUE(weather::ForecastSettingsProblem({weather::MinElevationM, THemisphere::South}).isEmpty());
    EXPECT_TRUE(weather::ForecastSettingsProblem({weather::MaxElevationM, THemisphere::North}).isEmpty());
    EXPECT_EQ(weather::ForecastSettingsProblem({weather::MaxElevationM + 1, THemisphere::North}),
              QStringLiteral("Высота над уровнем моря должна быть от −450 до 5500 м."));
    EXPECT_FALSE(weather::ForecastSettingsProblem({weather::MinElevationM - 1, THemisphere::North}).isEmpty());
}

} // namespace
