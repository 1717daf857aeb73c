// meteostation-hid-list over the simulated backend: what it lists, how it marks the station, the
// advice it gives and its exit status.
#include "hid/platform/sim/sim_platform.h"
#include "tools/hid_list.h"

#include <gtest/gtest.h>

#include <QString>
#include <sstream>
#include <string>

namespace {

using hidplatform::SimAccess;
using hidplatform::SimDeviceConfig;

SimDeviceConfig Device(const std::string& path, std::uint16_t vendor, std::uint16_t product, std::u16string name,
                       SimAccess access = SimAccess::ReadWrite)
{
    SimDeviceConfig config;
    config.Path = path;
    config.VendorID = vendor;
    config.ProductID = product;
    config.ProductString = std::move(name);
    config.Access = access;
    return config;
}

SimDeviceConfig Station(const std::string& path, SimAccess access = SimAccess::ReadWrite)
{
    return Device(path, 0x2112, 0x1212, u"Метеостанция", access);
}

class HidListTest : public testing::Test
{
protected:
    int Run()
    {
        QString out;
        const int status = hidlist::RunHidList(Sim, out);
        Output = out.toStdString();
        return status;
    }

    // The listing row of a path, or "" when it is not listed.
    std::string Row(const std::string& path) const
    {
        std::istringstream lines(Output);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(path + " ", 0) == 0)
                return line;
        return {};
    }

    bool Says(const std::string& text) const { return Output.find(text) != std::string::npos; }

    hidplatform::SimPlatform Sim;
    std::string Output;
};

TEST_F(HidListTest, NoDevicesSaysSoAndFails)
{
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(Says("HID-устройства не найдены.")) << Output;
    EXPECT_TRUE(Says("Метеостанция не найдена")) << Output;
    EXPECT_FALSE(Says("ПУТЬ")) << Output;
}

TEST_F(HidListTest, UsableStationIsMarkedBesideOtherDevices)
{
    Sim.PlugDevice(Device("/dev/hidraw0", 0x046d, 0xc077, u"USB Optical Mouse", SimAccess::IdentifyOnly));
    Sim.PlugDevice(Station("/dev/hidraw1"));
    EXPECT_EQ(Run(), 0) << Output;

    // Columns line up in characters, the Russian headings as wide as they read.
    EXPECT_TRUE(Says("ПУТЬ          VID:PID    ЧТЕНИЕ И ЗАПИСЬ  МЕТЕОСТАНЦИЯ  ИМЯ УСТРОЙСТВА\n")) << Output;
    EXPECT_EQ(Row("/dev/hidraw0"), "/dev/hidraw0  046d:c077  нет              -             \"USB Optical Mouse\"")
        << Output;
    EXPECT_EQ(Row("/dev/hidraw1"), "/dev/hidraw1  2112:1212  да               да            \"Метеостанция\"")
        << Output;
    EXPECT_TRUE(Says("HID-устройств: 2.")) << Output;
    EXPECT_TRUE(Says("Метеостанция найдена: /dev/hidraw1, открывается для чтения и записи")) << Output;
    EXPECT_FALSE(Says("udevadm")) << Output;
}

TEST_F(HidListTest, StationWithoutReadWriteAccessGetsTheRuleHint)
{
    Sim.PlugDevice(Station("/dev/hidraw3", SimAccess::IdentifyOnly));
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Row("/dev/hidraw3"), "/dev/hidraw3  2112:1212  нет              да            \"Метеостанция\"")
        << Output;
    EXPECT_TRUE(Says("HID-устройств: 1.")) << Output;
    EXPECT_TRUE(Says("нельзя открыть её для чтения и записи")) << Output;
    EXPECT_TRUE(Says("70-meteostation.rules")) << Output;
    EXPECT_TRUE(Says("sudo udevadm control --reload-rules")) << Output;
    EXPECT_TRUE(Says("подключите снова")) << Output;
}

TEST_F(HidListTest, OneUsableStationOutweighsALockedOne)
{
    Sim.PlugDevice(Station("/dev/hidraw0", SimAccess::IdentifyOnly));
    Sim.PlugDevice(Station("/dev/hidraw1"));
    EXPECT_EQ(Run(), 0) << Output;
    EXPECT_TRUE(Says("Метеостанция найдена: /dev/hidraw1")) << Output;
    EXPECT_FALSE(Says("udevadm")) << Output;
}

TEST_F(HidListTest, LookAlikesAreListedButNotMarked)
{
    Sim.PlugDevice(Device("/dev/hidraw0", 0x2112, 0x1213, u"Метеостанция"));   // right name, wrong product id
    Sim.PlugDevice(Device("/dev/hidraw1", 0x2113, 0x1212, u"Метеостанция"));   // right name, wrong vendor id
    Sim.PlugDevice(Device("/dev/hidraw2", 0x2112, 0x1212, u"метеостанция"));   // right ids, name differs in case
    Sim.PlugDevice(Device("/dev/hidraw3", 0x2112, 0x1212, u"Метеостанция 2")); // right ids, longer name
    EXPECT_EQ(Run(), 1) << Output;
    for (const char* path : {"/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw2", "/dev/hidraw3"}) {
        const std::string row = Row(path);
        ASSERT_FALSE(row.empty()) << path << "\n" << Output;
        EXPECT_EQ(row.find(" да            \""), std::string::npos) << row;
    }
    EXPECT_TRUE(Says("/dev/hidraw0 называется как метеостанция, но его коды 2112:1213, а не 2112:1212")) << Output;
    EXPECT_TRUE(Says("/dev/hidraw1 называется как метеостанция, но его коды 2113:1212, а не 2112:1212")) << Output;
    EXPECT_TRUE(Says("у /dev/hidraw2 коды метеостанции, но имя \"метеостанция\"")) << Output;
    EXPECT_TRUE(Says("Метеостанция не найдена")) << Output;
}

TEST_F(HidListTest, UnreadableOrOddProductStringsStayReadable)
{
    SimDeviceConfig nameless = Device("/dev/hidraw0", 0x2112, 0x1212, u"");
    nameless.ProductString.reset(); // the query fails
    Sim.PlugDevice(nameless);
    Sim.PlugDevice(Device("/dev/hidraw1", 0x1234, 0x0001, u"Bad\nname\x1b[0m"));
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Row("/dev/hidraw0"), "/dev/hidraw0  2112:1212  да               -             (имя не читается)")
        << Output;
    EXPECT_NE(Row("/dev/hidraw1").find("\"Bad?name?[0m\""), std::string::npos) << Output;
    EXPECT_TRUE(Says("у /dev/hidraw0 коды метеостанции, но имя (имя не читается)")) << Output;
}

TEST_F(HidListTest, WithoutThePlatformNothingCanBeListed)
{
    Sim.PlugDevice(Station("/dev/hidraw0"));
    Sim.SetLoadFails(true);
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(Says("Не удалось загрузить слой HID-устройств")) << Output;
    EXPECT_TRUE(Says("libudev.so.1")) << Output;
}

TEST_F(HidListTest, DeviceThatCannotBeOpenedAtAllIsLeftOut)
{
    Sim.PlugDevice(Device("/dev/hidraw0", 0x2112, 0x1212, u"Метеостанция", SimAccess::NoAccess));
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(Row("/dev/hidraw0").empty()) << Output;
    EXPECT_TRUE(Says("HID-устройства не найдены.")) << Output;
}

} // namespace
