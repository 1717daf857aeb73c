// The three-hour pressure tendency from the archive's hours and samples: each class at its
// boundaries, the scaling of an uneven span, and the cases with too little data.
#include "weather/pressure_trend.h"
#include "weather/units.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using weather::TPressureTendency;
using weather::TTimedPressure;

constexpr std::int64_t Now = 10'000'000; // minutes since 2000, a Sunday in 2019

TEST(PressureTrend, ChangesFallIntoTheirClasses)
{
    struct Case
    {
        double Hpa;
        TPressureTendency Tendency;
        const char* Text;
    };
    const Case cases[] = {
        {6.01, TPressureTendency::RisingVeryRapidly, "очень быстро растёт"},
        {6.0, TPressureTendency::RisingQuickly, "быстро растёт"},
        {3.51, TPressureTendency::RisingQuickly, "быстро растёт"},
        {3.5, TPressureTendency::Rising, "растёт"},
        {1.51, TPressureTendency::Rising, "растёт"},
        {1.5, TPressureTendency::RisingSlowly, "медленно растёт"},
        {0.1, TPressureTendency::RisingSlowly, "медленно растёт"},
        {0.09, TPressureTendency::Steady, "не меняется"},
        {0.0, TPressureTendency::Steady, "не меняется"},
        {-0.09, TPressureTendency::Steady, "не меняется"},
        {-0.1, TPressureTendency::FallingSlowly, "медленно падает"},
        {-1.5, TPressureTendency::FallingSlowly, "медленно падает"},
        {-1.51, TPressureTendency::Falling, "падает"},
        {-3.5, TPressureTendency::Falling, "падает"},
        {-3.51, TPressureTendency::FallingQuickly, "быстро падает"},
        {-6.0, TPressureTendency::FallingQuickly, "быстро падает"},
        {-6.01, TPressureTendency::FallingVeryRapidly, "очень быстро падает"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(weather::TendencyOfChange(c.Hpa), c.Tendency) << c.Hpa;
        const weather::TPressureTrend trend{weather::HpaToMmHg(c.Hpa), c.Hpa, c.Tendency};
        EXPECT_EQ(weather::TendencyText(trend), QString::fromUtf8(c.Text)) << c.Hpa;
    }
}

TEST(PressureTrend, FromTheArchivesHoursAndSamples)
{
    struct Case
    {
        const char* Name;
        std::vector<TTimedPressure> Values;
        double ChangeMmHg;
        TPressureTendency Tendency;
        const char* Text;
    };
    const Case cases[] = {
        // Hours only, the newest 20 minutes old: 3 mm Hg (4 hPa) down in three hours.
        {"falling hours",
         {{Now - 200, 760}, {Now - 140, 759}, {Now - 80, 758}, {Now - 20, 757}},
         -3,
         TPressureTendency::FallingQuickly,
         "−3,0 мм рт.ст. за 3 часа, быстро падает"},
        // A fresh sample wins over the hour it lies in; the older end is the value nearest three
        // hours before it.
        {"rising samples",
         {{Now - 185, 750}, {Now - 180, 750.5}, {Now - 60, 751}, {Now - 5, 752}, {Now, 752.5}},
         2,
         TPressureTendency::Rising,
         "+2,0 мм рт.ст. за 3 часа, растёт"},
        {"steady",
         {{Now - 180, 745}, {Now - 120, 746}, {Now, 745}},
         0,
         TPressureTendency::Steady,
         "0,0 мм рт.ст. за 3 часа, не меняется"},
        // 1 mm Hg over 3 h 30 min counts as 6/7 mm Hg over three hours.
        {"uneven span",
         {{Now - 210, 760}, {Now, 761}},
         180.0 / 210.0,
         TPressureTendency::RisingSlowly,
         "+0,9 мм рт.ст. за 3 часа, медленно растёт"},
    };
    for (const Case& c : cases) {
        const auto trend = weather::PressureTrend(c.Values, Now);
        ASSERT_TRUE(trend.has_value()) << c.Name;
        EXPECT_NEAR(trend->ChangeMmHg, c.ChangeMmHg, 1e-9) << c.Name;
        EXPECT_NEAR(trend->ChangeHpa, weather::MmHgToHpa(c.ChangeMmHg), 1e-9) << c.Name;
        EXPECT_EQ(trend->Tendency, c.Tendency) << c.Name;
        EXPECT_EQ(weather::TrendText(trend), QString::fromUtf8(c.Text)) << c.Name;
    }
}

TEST(PressureTrend, NotEnoughData)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::vector<TTimedPressure>> cases = {
        {},
        {{Now, 760}},
        // Two hours and a half known: the older end is more than half an hour from three hours.
        {{Now - 149, 760}, {Now, 758}},
        // The newest value is older than half an hour.
        {{Now - 240, 760}, {Now - 31, 758}},
        // Values from the future beyond the tolerance are no "now".
        {{Now - 180, 760}, {Now + 31, 758}},
        // A gap: nothing near three hours before, though older values exist.
        {{Now - 300, 760}, {Now - 100, 759}, {Now, 758}},
        // A value that is no number does not count.
        {{Now - 180, nan}, {Now, 758}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto trend = weather::PressureTrend(cases[i], Now);
        EXPECT_FALSE(trend.has_value()) << i;
        EXPECT_EQ(weather::TrendText(trend), QStringLiteral("недостаточно данных")) << i;
    }
}

} // namespace
