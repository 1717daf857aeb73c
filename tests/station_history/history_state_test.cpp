#include "core/history_state.h"

#include <gtest/gtest.h>

namespace {

THistoryImage Empty()
{
    THistoryImage image;
    image.fill(255);
    return image;
}

void PutDate(THistoryImage& image, std::size_t r, std::uint8_t day, std::uint8_t month, std::uint8_t year)
{
    image[8 * r + 4] = 12;
    image[8 * r + 5] = day;
    image[8 * r + 6] = month;
    image[8 * r + 7] = year;
}

const QDate Today(2017, 3, 4);

TEST(ScanHistory, NewestDayIsTheLastCountedRecord)
{
    THistoryImage image = Empty();
    PutDate(image, 0, 1, 12, 16);
    PutDate(image, 1, 2, 12, 16);
    PutDate(image, 2, 3, 12, 16);
    image[8 * 3 + 5] = 255; // a record with only its day missing does not count
    image[8 * 3 + 6] = 12;
    image[8 * 3 + 7] = 16;
    const THistoryScan scan = ScanHistory(image, Today);
    EXPECT_EQ(scan.RecordCount, 3u);
    EXPECT_EQ(scan.SelectedDate, (TSelectedDate{3, 12, 16}));
    EXPECT_EQ(scan.RecordCountText, QStringLiteral("3 (4096)"));
}

TEST(ScanHistory, ClampsAndTodayFallback)
{
    THistoryImage image = Empty();
    PutDate(image, 0, 5, 6, 9);
    EXPECT_EQ(ScanHistory(image, Today).SelectedDate, (TSelectedDate{31, 12, 15}));
    PutDate(image, 0, 5, 6, 120);
    EXPECT_EQ(ScanHistory(image, Today).SelectedDate, (TSelectedDate{31, 12, 99}));

    // Record 0 empty, later records present: today, clamped as well.
    image = Empty();
    PutDate(image, 10, 5, 6, 17);
    PutDate(image, 11, 6, 6, 17);
    THistoryScan scan = ScanHistory(image, Today);
    EXPECT_EQ(scan.RecordCount, 2u);
    EXPECT_EQ(scan.SelectedDate, (TSelectedDate{4, 3, 17}));
    EXPECT_EQ(ScanHistory(image, QDate(2015, 6, 1)).SelectedDate, (TSelectedDate{31, 12, 15}));
    EXPECT_EQ(ScanHistory(Empty(), QDate(2016, 2, 29)).SelectedDate, (TSelectedDate{29, 2, 16}));

    THistoryState state;
    state.HistoryImage = image;
    EXPECT_EQ(ScanHistory(state, Today), QStringLiteral("2 (4096)"));
    EXPECT_EQ(state.RecordCount, 2u);
    EXPECT_EQ(state.SelectedDate, (TSelectedDate{4, 3, 17}));
}

TEST(HistoryProgress, PercentRoundsHalfToEven)
{
    const std::pair<int, int> cases[] = {{0, 0},    {1, 0},    {3, 1},     {64, 12},   {192, 38},
                                         {320, 62}, {448, 88}, {511, 100}, {512, 100}, {256, 50}};
    for (const auto& [blocks, percent] : cases)
        EXPECT_EQ(HistoryProgressPercent(blocks), percent) << blocks;
}

TEST(HistoryProgress, BlocksLandAtTheirPlaceAndOnlyThere)
{
    THistoryImage image = Empty();
    std::array<std::uint8_t, 64> block;
    block.fill(7);
    EXPECT_TRUE(StoreHistoryBlock(image, 511, block.data()));
    EXPECT_EQ(image[std::size_t{64} * 511], 7);
    EXPECT_EQ(image[64 * 511 - 1], 255);
    EXPECT_FALSE(StoreHistoryBlock(image, 512, block.data()));
    EXPECT_FALSE(StoreHistoryBlock(image, -1, block.data()));
    EXPECT_FALSE(HistoryRecordAt(image, 4095).IsEmpty());
    EXPECT_TRUE(HistoryRecordAt(image, 4087).IsEmpty());
}

} // namespace
