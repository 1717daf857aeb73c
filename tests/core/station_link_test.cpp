// The core's link to the station with no window: which devices it takes, how a newer station takes
// over from an older one, and that a download keeps to its own station whatever else arrives. The
// real controller, devices and read threads over the simulated platform.
#include "core/station_core.h"
#include "hid/device_controller.h"
#include "tests/support/stand_in_rig.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace std::chrono_literals;
using testsupport::PumpUntil;
using testsupport::TReport;

class CoreLink : public ::testing::Test, protected testsupport::TStandInRig
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.Entered());
        Core = std::make_unique<TStationCore>(Platform);
        Core->SetClock([] { return QDateTime(QDate(2025, 11, 23), QTime(18, 42, 9)); });
        // The station's time runs only when the test advances it.
        Core->SetStreamSilenceTimeout(std::numeric_limits<int>::max());
        Core->HistoryOperation.SetStallTimeout(std::numeric_limits<int>::max());
        Core->LoadHistory();
        Core->StartLink();
    }
    void TearDown() override
    {
        Core.reset();
        Station.reset();
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents(); // the last unplugs' notices, to nobody
    }

    THidDeviceController& Controller() const { return *Core->Controller(); }

    std::unique_ptr<TStationCore> Core;
};

TEST_F(CoreLink, TakesOnlyTheStationAndANewerOneTakesOverEvenDuringADownload)
{
    // Devices with the station's name or ids alone are never taken, opened for reading or written to.
    std::vector<TReport> toOthers;
    const auto capture = [&toOthers](const std::uint8_t* r, std::size_t n) { toOthers.emplace_back(r, r + n); };
    std::vector<hidplatform::SimDeviceConfig> lookalikes(5, simulator::TSimStation::DeviceConfig());
    lookalikes[0].ProductID = 0x1213;
    lookalikes[1].VendorID = 0x2113;
    lookalikes[2].ProductString = u"метеостанция"; // case matters
    lookalikes[3].ProductString = u"Метеостанция 2";
    lookalikes[4].ProductString.reset();
    std::vector<hidplatform::SimDeviceId> others;
    for (const auto& config : lookalikes) {
        others.push_back(Platform.PlugDevice(config));
        Platform.SetOutputHandler(others.back(), capture);
    }
    ASSERT_TRUE(PumpUntil([this] { return Controller().DeviceCount() == 5; }));
    ASSERT_TRUE(testsupport::PumpPosted());
    EXPECT_FALSE(Core->StationPresent());
    EXPECT_EQ(Core->LinkState(), TLinkState::Disconnected);
    for (int i = 0; i < Controller().DeviceCount(); ++i)
        EXPECT_FALSE(Controller().Device(i)->CheckedOut());
    for (hidplatform::SimDeviceId id : others)
        EXPECT_EQ(Platform.ReadStarts(id), 0);

    // The station is taken and told to stream; any other device arriving matches it once more.
    PlugStation();
    ASSERT_TRUE(PumpUntil([this] { return Core->LinkState() == TLinkState::Connected && Settle(); }));
    ASSERT_EQ(Sent.size(), 1u);
    EXPECT_EQ(LastCode(), static_cast<std::uint8_t>(TCommandCode::StreamReadings));
    THidDevice* first = Core->Station.StationDevice;
    Platform.PlugDevice(Mouse());
    ASSERT_TRUE(PumpUntil([&] { return Sent.size() == 2; }));
    EXPECT_EQ(LastCode(), static_cast<std::uint8_t>(TCommandCode::StreamReadings));
    EXPECT_EQ(Core->Station.StationDevice, first);

    // A second station takes over and is told to stream; the first one, streaming on, is never
    // written to again and its readings are no blocks of the second one's download.
    simulator::TSimStation second(Platform, 8, testsupport::StartClock());
    second.Model().FillPlausibleHistory(30, {2024, 3, 7, 13, 0, 0}, 12);
    second.Model().SetBlockInterval(10ms);
    std::vector<TReport> toSecond;
    second.Plug();
    Platform.SetOutputHandler(second.DeviceId(), [&](const std::uint8_t* r, std::size_t n) {
        toSecond.emplace_back(r, r + n);
        second.Model().HandleOutputReport(r, n);
    });
    ASSERT_TRUE(PumpUntil([&] { return Core->Station.StationDevice != first && Core->StationPresent(); }));
    THidDevice* current = Core->Station.StationDevice;
    ASSERT_TRUE(Settle() && Settle(second));
    ASSERT_EQ(toSecond.size(), 1u);
    EXPECT_EQ(toSecond[0][19], static_cast<std::uint8_t>(TCommandCode::StreamReadings));
    const std::size_t sentToFirst = Sent.size();
    ASSERT_TRUE(Core->StartHistoryOperation(THistoryOperationKind::Download));
    ASSERT_TRUE(PumpUntil([this] { return Core->Station.BlockCount == 1; }));
    EXPECT_EQ(Station->Model().Mode(), simulator::TTransferMode::Streaming);
    ASSERT_TRUE(Advance(1000)); // a readings report of the first station, between two blocks
    EXPECT_EQ(Core->Station.BlockCount, 1);
    Platform.PlugDevice(Mouse()); // matched again, the second station keeps sending its memory
    ASSERT_TRUE(PumpUntil([this] { return Controller().DeviceCount() == 9; }));
    EXPECT_EQ(second.Model().Mode(), simulator::TTransferMode::Downloading);
    second.Advance(10s);
    ASSERT_TRUE(PumpUntil([this] { return !Core->HistoryOperation.Running(); }));
    EXPECT_EQ(Core->History.HistoryImage, second.Model().HistoryMemory());
    EXPECT_EQ(Core->Station.HistoryComplete, 1);

    // The first one unplugged: let go (out of the list, its read thread ended, no handle left) and
    // not the station any more, so the link stays as it is.
    QSignalSpy disconnected(Core.get(), &TStationCore::StationDisconnected);
    const hidplatform::SimDeviceId firstId = Station->DeviceId();
    Station->Unplug();
    ASSERT_TRUE(PumpUntil([this] { return Controller().DeviceCount() == 8; }));
    EXPECT_EQ(Platform.OpenHandleCount(firstId), 0);
    const int readStarts = Platform.ReadStarts(firstId);
    ASSERT_TRUE(testsupport::PumpPosted());
    EXPECT_EQ(Platform.ReadStarts(firstId), readStarts);
    EXPECT_EQ(disconnected.count(), 0);
    EXPECT_EQ(Core->LinkState(), TLinkState::Connected);
    EXPECT_EQ(Core->Station.StationDevice, current);
    EXPECT_TRUE(toOthers.empty());
    EXPECT_EQ(Sent.size(), sentToFirst);
}

} // namespace
