// The trend and forecast line from a real archive: the station's hours and the live reading give
// the three-hour change and the forecast, too little history says so, and the archive is read
// again only when it changed or a minute passed, never for every report.
#include "archive/archive_store.h"
#include "core/weather_outlook.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace {

archive::THourRecord PressureHour(int hour, int mmHg)
{
    archive::THourRecord record;
    record.Hour = archive::HourKey(QDate(2026, 12, 5), hour);
    record.Values[static_cast<std::size_t>(base::TQuantity::Pressure)] = mmHg;
    return record;
}

TEST(WeatherOutlook, TrendAndForecastFromTheArchiveRefreshedOnlyWhenDue)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    archive::TArchiveStore store;
    ASSERT_TRUE(store.IsOpen());
    const QDateTime now(QDate(2026, 12, 5), QTime(18, 20));
    TWeatherOutlook outlook;

    // Nothing in the archive: not enough to say, also with the station's reading.
    EXPECT_TRUE(outlook.Refresh(&store, {now, 750, -3}));
    EXPECT_EQ(outlook.TrendLine(), QStringLiteral("Давление: недостаточно данных"));
    EXPECT_EQ(outlook.ForecastLine(), QStringLiteral("Прогноз: недостаточно данных"));

    // Three hours before: 760 mm Hg; now 750. Within the minute the archive is not read again.
    ASSERT_TRUE(store.Merge({PressureHour(15, 760), PressureHour(16, 756), PressureHour(17, 753)}).Ok);
    EXPECT_FALSE(outlook.Refresh(&store, {now.addSecs(30), 750, -3}));
    EXPECT_FALSE(outlook.Trend().has_value());
    // A minute on it is; and at once when the archive says it changed.
    EXPECT_TRUE(outlook.Refresh(&store, {now.addSecs(60), 750, -3}));
    ASSERT_TRUE(outlook.Trend().has_value());
    EXPECT_LT(outlook.Trend()->ChangeMmHg, -8.0);
    EXPECT_EQ(outlook.Trend()->Tendency, weather::TPressureTendency::FallingVeryRapidly);
    EXPECT_EQ(outlook.TrendLine(), QStringLiteral("Давление: ") + weather::TrendText(outlook.Trend()));
    EXPECT_TRUE(outlook.TrendLine().startsWith(QStringLiteral("Давление: −"))) << outlook.TrendLine().toStdString();
    ASSERT_TRUE(outlook.Forecast().has_value());
    EXPECT_EQ(outlook.ForecastLine(), QStringLiteral("Прогноз: ") + outlook.Forecast()->Text);

    ASSERT_TRUE(store.Merge({PressureHour(15, 745)}).Ok);
    EXPECT_FALSE(outlook.Refresh(&store, {now.addSecs(70), 750, -3}));
    outlook.ArchiveChanged();
    EXPECT_TRUE(outlook.Refresh(&store, {now.addSecs(71), 750, -3}));
    EXPECT_GT(outlook.Trend()->ChangeMmHg, 4.0);

    // Without the station's reading there is a trend from the archive but no forecast to give.
    outlook.ArchiveChanged();
    outlook.Refresh(&store, {QDateTime(QDate(2026, 12, 5), QTime(17, 50)), std::nullopt, std::nullopt});
    EXPECT_FALSE(outlook.Forecast().has_value());
    // Without an archive, only what the station says now: not enough.
    outlook.ArchiveChanged();
    outlook.Refresh(nullptr, {now, 750, -3});
    EXPECT_FALSE(outlook.Trend().has_value());
}

} // namespace
