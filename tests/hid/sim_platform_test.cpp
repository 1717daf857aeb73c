// The sim backend's read contract, which the stand-in station and the demo rely on as well.
#include "hid/platform/sim/sim_platform.h"
#include "hid_test_support.h"

#include <cerrno>
#include <thread>

using hidplatform::Access;
using hidplatform::InvalidHandle;
using hidplatform::SimAccess;
using hidplatform::WaitResult;

TEST(SimPlatform, ReadsWaitInSlicesAndEndOnDataWakeCloseOrUnplug)
{
    hidplatform::SimPlatform sim;
    ASSERT_TRUE(sim.Load());
    const auto id = sim.PlugDevice(hidtest::Station());
    const std::string path = sim.Path(id);
    const auto handle = sim.Open(path, Access::ReadOverlapped);
    ASSERT_NE(handle, InvalidHandle);
    std::uint8_t buffer[65] = {};

    ASSERT_TRUE(sim.BeginRead(handle, buffer, 4));
    EXPECT_FALSE(sim.BeginRead(handle, buffer, 4)); // one outstanding read per handle
    EXPECT_EQ(sim.LastError(), static_cast<std::uint32_t>(EBUSY));
    EXPECT_EQ(sim.WaitRead(handle, 10), WaitResult::TimedOut);
    sim.WakeRead(handle); // wakes the next wait too
    EXPECT_EQ(sim.WaitRead(handle, 10000), WaitResult::Woken);
    std::thread producer([&] { sim.QueueInputReport(id, {3, 1, 2, 3, 4, 5}); });
    EXPECT_EQ(sim.WaitRead(handle, 10000), WaitResult::Completed);
    producer.join();
    EXPECT_EQ(sim.CompletedReadSize(handle), 4u); // cut to the read's length
    EXPECT_EQ(buffer[0], 3);
    EXPECT_EQ(buffer[3], 3);

    ASSERT_TRUE(sim.BeginRead(handle, buffer, 65));
    std::thread closer([&] { sim.Close(handle); });
    EXPECT_EQ(sim.WaitRead(handle, 10000), WaitResult::Completed);
    closer.join();
    EXPECT_EQ(sim.CompletedReadSize(handle), 0u);
    EXPECT_FALSE(sim.BeginRead(handle, buffer, 65));

    const auto second = sim.Open(path, Access::ReadOverlapped);
    ASSERT_TRUE(sim.BeginRead(second, buffer, 65));
    sim.UnplugDevice(id);
    EXPECT_EQ(sim.WaitRead(second, 10000), WaitResult::Completed);
    EXPECT_EQ(sim.CompletedReadSize(second), 0u);
    hidplatform::Attributes attributes;
    EXPECT_FALSE(sim.GetAttributes(second, attributes));
    EXPECT_EQ(sim.LastError(), static_cast<std::uint32_t>(ENODEV));
    EXPECT_EQ(sim.Open(path, Access::Identify), InvalidHandle);
    EXPECT_FALSE(sim.QueueInputReport(id, {0}));
    sim.Close(second);
    hidtest::Flush();
}

TEST(SimPlatform, EveryPlugIsANewInstanceAndAccessModesGateOpening)
{
    hidplatform::SimPlatform sim;
    ASSERT_TRUE(sim.Load());
    const auto first = sim.PlugDevice(hidtest::Station("/dev/x"));
    sim.UnplugDevice(first);
    auto config = hidtest::Station("/dev/x");
    config.Access = SimAccess::IdentifyOnly;
    const auto second = sim.PlugDevice(config);
    EXPECT_NE(sim.Instance(first), sim.Instance(second));
    std::vector<hidplatform::PresentInterface> present;
    ASSERT_TRUE(sim.EnumeratePresent(present));
    ASSERT_EQ(present.size(), 1u);
    EXPECT_EQ(present[0].DeviceInstance, sim.Instance(second));
    EXPECT_EQ(sim.Open("/dev/x", Access::ReadWrite), InvalidHandle);
    EXPECT_EQ(sim.LastError(), static_cast<std::uint32_t>(EACCES));
    const auto handle = sim.Open("/dev/x", Access::Identify);
    ASSERT_NE(handle, InvalidHandle);
    std::uint32_t written = 1;
    const std::uint8_t report[2] = {0, 1};
    EXPECT_FALSE(sim.Write(handle, report, 2, written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(sim.ErrorText(EACCES), "Нет доступа к устройству");
    sim.Close(handle);
    hidtest::Flush();
}
