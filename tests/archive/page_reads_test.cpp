// The archive page reads weeks, months, years and its holdings off the main thread: on a generated
// archive of two years (the station's hours with gaps, live samples alone and beside them) every view
// shows what the store's own query gives, and a period shown while the next one is read stays whole
// until the next one replaces it.
#include "archive/archive_period.h"
#include "chart/chart.h"
#include "station/archive_page.h"
#include "tests/support/archive_support.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QLabel>
#include <gtest/gtest.h>
#include <memory>

using namespace archive;
using archivetest::Absent;
using archivetest::V;

namespace {

const QDate First(2023, 1, 1);
const QDate Last(2024, 12, 31);

bool Same(double a, double b)
{
    return HasValue(a) ? HasValue(b) && a == b : !HasValue(b);
}

// The view the page showed equals the one built from the store's own query of its period.
::testing::AssertionResult ShowsWhatTheStoresQueryGives(TArchivePage& page, TArchiveStore& store)
{
    const TPeriodView& shown = page.View();
    const TPeriod& period = shown.Period;
    const TPeriodView expected =
        BuildPeriodView(store.Hours(period.FirstHour(), period.LastHour()), period, page.Quantity());
    const TStatistics& a = shown.Statistics;
    const TStatistics& b = expected.Statistics;
    if (a.HoursWithData != b.HoursWithData || a.HoursInPeriod != b.HoursInPeriod || !Same(a.Minimum, b.Minimum) ||
        !Same(a.Mean, b.Mean) || !Same(a.Maximum, b.Maximum))
        return ::testing::AssertionFailure() << "statistics of " << PeriodText(period).toStdString();
    if (shown.HourValues.size() != expected.HourValues.size() || shown.Days.size() != expected.Days.size())
        return ::testing::AssertionFailure() << "columns of " << PeriodText(period).toStdString();
    for (std::size_t h = 0; h < shown.HourValues.size(); ++h)
        if (!Same(shown.HourValues[h], expected.HourValues[h]))
            return ::testing::AssertionFailure() << "hour " << h << " of " << PeriodText(period).toStdString();
    for (std::size_t d = 0; d < shown.Days.size(); ++d) {
        const TDaySummary& x = shown.Days[d];
        const TDaySummary& y = expected.Days[d];
        if (x.Hours != y.Hours || !Same(x.Minimum, y.Minimum) || !Same(x.Mean, y.Mean) || !Same(x.Maximum, y.Maximum))
            return ::testing::AssertionFailure() << "day " << d << " of " << PeriodText(period).toStdString();
    }
    // The chart and the statistics line belong to the same period as the view.
    if (page.ArchiveChart->Title().Text().value(0) !=
            base::QuantityTitle(page.Quantity()) + QStringLiteral(" — ") + PeriodText(period) ||
        page.StatisticsLabel->text() != StatisticsText(shown.Statistics, page.Quantity()))
        return ::testing::AssertionFailure() << "chart or statistics not of " << PeriodText(period).toStdString();
    return ::testing::AssertionSuccess();
}

class ArchivePageReads : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.Entered());
        Store = std::make_unique<TArchiveStore>(QDir(Folder.Path()).filePath(ArchiveFileName));
        // The station's hours of two years, every fifth day without the outdoor sensor and every
        // thirteenth day missing; live samples alone on the missing days' noons and beside the
        // station's values on the first of each month.
        std::vector<THourRecord> hours;
        for (THourKey h = HourKey(First, 0); h <= HourKey(Last, 23); ++h) {
            const int day = static_cast<int>(First.daysTo(DateOfHour(h)));
            if (day % 13 == 0)
                continue;
            const int hour = HourOfDay(h);
            hours.push_back({h,
                             {18 + hour % 5, day % 5 == 0 ? Absent : V(hour - 10 - day % 9), 740 + day % 17,
                              V(30 + (hour * 7 + day) % 60)}});
        }
        ASSERT_TRUE(Store->Merge(hours).Ok);
        for (QDate date = First; date <= Last; date = date.addDays(1)) {
            const int day = static_cast<int>(First.daysTo(date));
            if (day % 13 != 0 && date.day() != 1)
                continue;
            TSample sample;
            sample.Start = HourKey(date, 12) * 60;
            sample.Reports = 12;
            sample.Mean = {21.5, -3.25 + day % 7, 747, 55};
            sample.Count = {12, 12, 12, 12};
            ASSERT_TRUE(Store->AddSample(sample).Ok);
        }
        Page = std::make_unique<TArchivePage>();
        Page->resize(607, 326);
        Page->SetStore(Store.get());
        Page->show();
    }

    bool Shows(const TPeriod& period)
    {
        return testsupport::PumpUntil([&] { return Page->View().Period == period; });
    }

    testsupport::TFreshCurrentFolder Folder;
    std::unique_ptr<TArchiveStore> Store;
    std::unique_ptr<TArchivePage> Page;
};

TEST_F(ArchivePageReads, EveryViewShowsWhatTheStoresQueryGives)
{
    const QDate dates[] = {First, QDate(2023, 2, 28), QDate(2023, 7, 14), QDate(2024, 2, 29), QDate(2024, 12, 31)};
    for (const TPeriodKind kind : {TPeriodKind::Day, TPeriodKind::Week, TPeriodKind::Month, TPeriodKind::Year})
        for (const QDate& date : dates)
            for (const base::TQuantity quantity :
                 {base::TQuantity::IndoorTemperature, base::TQuantity::OutdoorTemperature, base::TQuantity::Humidity}) {
                Page->SetQuantity(quantity);
                Page->ShowPeriod(kind, date);
                ASSERT_TRUE(Shows(PeriodContaining(kind, date)));
                EXPECT_TRUE(ShowsWhatTheStoresQueryGives(*Page, *Store));
            }
    EXPECT_TRUE(testsupport::PumpUntil([&] { return Page->HoldingsLabel->text() == HoldingsText(Store->Holdings()); }));
}

TEST_F(ArchivePageReads, APeriodShownWhileTheNextIsReadStaysWholeUntilReplaced)
{
    Page->ShowPeriod(TPeriodKind::Year, QDate(2024, 6, 1));
    ASSERT_TRUE(Shows(PeriodContaining(TPeriodKind::Year, QDate(2024, 6, 1))));
    std::vector<TPeriod> shown;
    bool whole = true;
    QObject::connect(Page.get(), &TArchivePage::ViewShown, [&] {
        shown.push_back(Page->View().Period);
        whole = whole && ShowsWhatTheStoresQueryGives(*Page, *Store);
    });

    // Asked one after the other, faster than they are read: the year before, a month of it, a week.
    const TPeriod asked[] = {PeriodContaining(TPeriodKind::Year, QDate(2023, 6, 1)),
                             PeriodContaining(TPeriodKind::Month, QDate(2023, 6, 1)),
                             PeriodContaining(TPeriodKind::Week, QDate(2023, 6, 1))};
    for (const TPeriod& period : asked) {
        const TPeriod before = Page->View().Period;
        Page->ShowPeriod(period.Kind, period.First);
        // Until its answer comes, the page shows the period before it, whole.
        if (!(Page->View().Period == period)) {
            EXPECT_EQ(Page->View().Period, before);
            EXPECT_TRUE(ShowsWhatTheStoresQueryGives(*Page, *Store));
        }
    }
    ASSERT_TRUE(Shows(asked[2]));
    // Every view that was put up was whole and one of those asked; the last one asked stays.
    EXPECT_TRUE(whole);
    for (const TPeriod& period : shown)
        EXPECT_TRUE(period == asked[0] || period == asked[1] || period == asked[2]);
    // The answers come in the order asked, so none can follow the last one's.
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), asked[2]);
}

} // namespace
