// The history download and clear on their own, without a window: the blocks and the count, the
// copy an interrupted download leaves as it was, whose reports count, and the stall time-out.
#include "core/history_operation.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace {

// Devices are only compared, never used.
THidDevice* const StationA = reinterpret_cast<THidDevice*>(std::uintptr_t{0x1000});
THidDevice* const StationB = reinterpret_cast<THidDevice*>(std::uintptr_t{0x2000});

TReportImage Block(int index)
{
    TReportImage block;
    block.fill(static_cast<std::uint8_t>(index));
    return block;
}

struct HistoryOperationTest : testing::Test
{
    HistoryOperationTest() { History.HistoryImage.fill(0x11); }
    TStationRecord Station;
    THistoryState History;
    THistoryOperation Operation{Station, History};
};

TEST_F(HistoryOperationTest, DownloadFillsTheCopyBlockByBlockAndOnlyFromItsStation)
{
    Station.HistoryComplete = 1;
    Operation.Start(THistoryOperationKind::Download, StationA);
    EXPECT_EQ(Station.DownloadActive, 1);
    EXPECT_EQ(Station.HistoryComplete, 0); // not to be saved until the last block
    EXPECT_TRUE(Operation.TakesReportsFrom(StationA));
    EXPECT_FALSE(Operation.TakesReportsFrom(StationB));
    Operation.Start(THistoryOperationKind::Clear, StationB); // one at a time
    EXPECT_EQ(Operation.Kind(), THistoryOperationKind::Download);
    EXPECT_EQ(Operation.Device(), StationA);

    for (int k = 0; k < HistoryBlockCount; ++k) {
        const THistoryProgress progress = Operation.TakeReport(Block(k).data());
        ASSERT_EQ(progress.Kind, THistoryOperationKind::Download) << k;
        ASSERT_EQ(progress.BlockCount, k + 1);
        ASSERT_EQ(progress.Finished, k + 1 == HistoryBlockCount) << k;
    }
    EXPECT_FALSE(Operation.Running());
    EXPECT_EQ(Station.HistoryComplete, 1);
    EXPECT_EQ(Station.BlockCount, 0);
    EXPECT_EQ(Operation.Device(), nullptr);
    EXPECT_TRUE(Operation.TakesReportsFrom(StationB));
    for (int k = 0; k < HistoryBlockCount; ++k)
        ASSERT_EQ(History.HistoryImage[static_cast<std::size_t>(k * HistoryBlockSize + 63)], k & 0xFF) << k;
    // A report after the end belongs to nothing.
    EXPECT_EQ(Operation.TakeReport(Block(1).data()).Kind, THistoryOperationKind::None);
}

TEST_F(HistoryOperationTest, AbandonedDownloadLeavesTheCopyAndItsSavingAsTheyWere)
{
    Station.HistoryComplete = 0; // e.g. a damaged file was loaded
    const THistoryImage before = History.HistoryImage;
    Operation.Start(THistoryOperationKind::Download, StationA);
    for (int k = 0; k < 100; ++k)
        Operation.TakeReport(Block(k).data());
    EXPECT_EQ(Operation.Abandon(), THistoryOperationKind::Download);
    EXPECT_EQ(History.HistoryImage, before);
    EXPECT_EQ(Station.HistoryComplete, 0);
    EXPECT_EQ(Station.DownloadActive, 0);
    EXPECT_EQ(Station.BlockCount, 0);
    EXPECT_EQ(Operation.Abandon(), THistoryOperationKind::None);
}

TEST_F(HistoryOperationTest, ClearCountsItsProgressWithoutTouchingTheCopy)
{
    const THistoryImage before = History.HistoryImage;
    Operation.Start(THistoryOperationKind::Clear, StationA);
    THistoryProgress progress;
    for (int k = 0; k < HistoryBlockCount; ++k)
        progress = Operation.TakeReport(Block(k).data());
    EXPECT_EQ(progress.Kind, THistoryOperationKind::Clear);
    EXPECT_TRUE(progress.Finished);
    EXPECT_EQ(Station.ClearActive, 0);
    EXPECT_EQ(History.HistoryImage, before);
}

TEST_F(HistoryOperationTest, SilentStationStallsTheOperationOnce)
{
    std::vector<THistoryOperationKind> stalls;
    Operation.SetStallHandler([&](THistoryOperationKind kind) {
        stalls.push_back(kind);
        Operation.Abandon();
    });
    Operation.SetStallTimeout(0);
    EXPECT_EQ(Operation.StallTimeout(), 1);
    Operation.SetStallTimeout(20);
    Operation.Start(THistoryOperationKind::Clear, StationA);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !stalls.empty(); }, 10000));
    EXPECT_EQ(stalls, std::vector<THistoryOperationKind>{THistoryOperationKind::Clear});
    EXPECT_FALSE(Operation.Running());
}

} // namespace
