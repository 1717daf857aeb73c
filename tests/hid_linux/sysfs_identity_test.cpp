#include "hid/platform/linux/sysfs_identity.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <clocale>

using namespace hidplatform;
using hidlinuxtest::AddCharNode;
using hidlinuxtest::AddUsbHidDevice;
using hidlinuxtest::LoadHex;
using hidlinuxtest::ScratchDirectory;
using hidlinuxtest::WriteFile;
namespace fs = std::filesystem;

TEST(Uevent, ParsesKeyValueLines)
{
    const auto keys = ParseUevent("DRIVER=hid-generic\r\nHID_ID=0003:00002112:00001212\nHID_NAME=A=B name\n"
                                  "garbage line\n=no key\nMODALIAS=hid:b0003\n");
    EXPECT_EQ(keys.at("DRIVER"), "hid-generic");
    EXPECT_EQ(keys.at("HID_ID"), "0003:00002112:00001212");
    EXPECT_EQ(keys.at("HID_NAME"), "A=B name");  // only the first '=' separates
    EXPECT_EQ(keys.at("MODALIAS"), "hid:b0003"); // last line without newline handling
    EXPECT_EQ(keys.size(), 4u);
    EXPECT_TRUE(ParseUevent("").empty());
}

TEST(Uevent, NameWithALineBreakCannotOverrideTheKernelsKeys)
{
    // The kernel writes HID_ID first; the device's name (from a uhid creator or a Bluetooth peer)
    // follows unescaped and may hold a line break of its own.
    const auto keys = ParseUevent("HID_ID=0005:0000046D:0000B35B\nHID_NAME=Mouse\nHID_ID=0003:00002112:00001212\n"
                                  "HID_PHYS=\nHID_UNIQ=x\nHID_NAME=other\n");
    EXPECT_EQ(keys.at("HID_ID"), "0005:0000046D:0000B35B");
    EXPECT_EQ(keys.at("HID_NAME"), "Mouse");
}

TEST(Uevent, HidIdGivesBusVendorProduct)
{
    std::uint32_t bus = 0;
    std::uint16_t vendor = 0, product = 0;
    ASSERT_TRUE(ParseHidId("0003:00002112:00001212", bus, vendor, product));
    EXPECT_EQ(bus, 3u);
    EXPECT_EQ(vendor, 0x2112);
    EXPECT_EQ(product, 0x1212);
    ASSERT_TRUE(ParseHidId("0005:0000046D:0000B35B", bus, vendor, product));
    EXPECT_EQ(bus, 5u);
    EXPECT_EQ(vendor, 0x046D);
    EXPECT_EQ(product, 0xB35B);

    for (const char* bad : {"", "0003:00002112", "0003::00001212", "0003:0001211Z:00001212", "0003:00012112:00001212",
                            "0003:00002112:00001212:", "000000003:00002112:00001212"})
        EXPECT_FALSE(ParseHidId(bad, bus, vendor, product)) << bad;
}

TEST(Uevent, InstanceIsTheHexSuffixOfTheSysName)
{
    std::uint32_t instance = 0;
    ASSERT_TRUE(InstanceFromSysName("0003:2112:1212.000A", instance));
    EXPECT_EQ(instance, 0x000Au);
    ASSERT_TRUE(InstanceFromSysName("0003:2112:1212.1F00A", instance)); // past four digits after many plugs
    EXPECT_EQ(instance, 0x1F00Au);
    for (const char* bad :
         {"", "hidraw0", "0003:2112:1212.", ".000A", "0003:2112:1212.00G1", "0003:2112:1212.123456789"})
        EXPECT_FALSE(InstanceFromSysName(bad, instance)) << bad;
}

TEST(Uevent, BcdDeviceAndTextAttributes)
{
    std::uint16_t version = 0;
    ASSERT_TRUE(ParseBcdDevice("0100\n", version));
    EXPECT_EQ(version, 0x0100);
    EXPECT_FALSE(ParseBcdDevice("\n", version));
    EXPECT_FALSE(ParseBcdDevice("10000\n", version));

    // UTF-8 whatever the C locale says.
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(DecodeSysfsText("Метеостанция\n"), u"Метеостанция");
    EXPECT_EQ(DecodeSysfsText(std::string_view("ab\0cd", 5)), u"ab");
    EXPECT_EQ(DecodeSysfsText(std::string(300, 'x')).size(), 254u);
    // "😀" is a surrogate pair: cut before it rather than through it.
    EXPECT_EQ(DecodeSysfsText("ab\xF0\x9F\x98\x80", 3), u"ab");
    EXPECT_EQ(DecodeSysfsText("ab\xF0\x9F\x98\x80", 4), u"ab\U0001F600");
}

TEST(SysfsIdentity, StationOnUsbIsIdentifiedFromSysfsAlone)
{
    ScratchDirectory root;
    const auto dir = AddUsbHidDevice(root.Path, "0003:2112:1212.000A",
                                     "DRIVER=hid-generic\nHID_ID=0003:00002112:00001212\nHID_NAME=Maker Метеостанция\n",
                                     "Метеостанция");
    AddCharNode(root.Path, dir, "hidraw", 245, 3);
    AddCharNode(root.Path, dir, "input", 13, 64); // an event node of the same device
    const std::string hid = ResolveHidDirectory(root.Path.string(), 245, 3);
    ASSERT_EQ(hid, fs::canonical(dir).string());
    EXPECT_TRUE(ResolveHidDirectory(root.Path.string(), 13, 64).empty());
    EXPECT_TRUE(ResolveHidDirectory(root.Path.string(), 245, 4).empty());

    HidIdentity identity;
    ASSERT_TRUE(ReadHidIdentity(hid, identity));
    EXPECT_EQ(identity.Bus, BusUsb);
    EXPECT_EQ(identity.VendorID, 0x2112);
    EXPECT_EQ(identity.ProductID, 0x1212);
    EXPECT_EQ(identity.VersionNumber, 0x0105);
    EXPECT_EQ(identity.ProductString, u"Метеостанция"); // the USB product, not HID_NAME
    ASSERT_TRUE(identity.HasDescriptor);
    EXPECT_EQ(identity.ReportDescriptor, LoadHex("station.hex"));
}

TEST(SysfsIdentity, UsbDeviceWithoutProductStringHasNone)
{
    ScratchDirectory root;
    const auto dir = AddUsbHidDevice(root.Path, "0003:2112:1212.000B",
                                     "HID_ID=0003:00002112:00001212\nHID_NAME=HID 2112:1212\n", "");
    HidIdentity identity;
    ASSERT_TRUE(ReadHidIdentity(dir.string(), identity));
    EXPECT_TRUE(identity.ProductString.empty());
}

TEST(SysfsIdentity, OtherBusesFallBackToHidName)
{
    ScratchDirectory root;
    const fs::path hid = root.Path / "devices/virtual/misc/uhid/0005:046D:B35B.0004";
    WriteFile(hid / "uevent", std::string("HID_ID=0005:0000046D:0000B35B\nHID_NAME=Клавиатура BT\n"));
    HidIdentity identity;
    ASSERT_TRUE(ReadHidIdentity(hid.string(), identity));
    EXPECT_EQ(identity.Bus, 5u);
    EXPECT_EQ(identity.ProductString, u"Клавиатура BT");
    EXPECT_EQ(identity.VersionNumber, 0);
    EXPECT_FALSE(identity.HasDescriptor);
}

TEST(SysfsIdentity, UsbBusWithoutAUsbDeviceAboveFallsBackToHidName)
{
    // A uhid device created with bus USB: the kernel puts it under the virtual uhid device.
    ScratchDirectory root;
    const fs::path hid = root.Path / "devices/virtual/misc/uhid/0003:2112:1212.0001";
    WriteFile(hid / "uevent", std::string("HID_ID=0003:00002112:00001212\nHID_NAME=Метеостанция\n"));
    HidIdentity identity;
    ASSERT_TRUE(ReadHidIdentity(hid.string(), identity));
    EXPECT_EQ(identity.Bus, BusUsb);
    EXPECT_EQ(identity.ProductString, u"Метеостанция");
    EXPECT_EQ(identity.VersionNumber, 0); // nothing in sysfs tells it
}

TEST(SysfsIdentity, DirectoryWithoutHidIdIsNotIdentified)
{
    ScratchDirectory root;
    HidIdentity identity;
    EXPECT_FALSE(ReadHidIdentity((root.Path / "missing").string(), identity));
    WriteFile(root.Path / "dev/uevent", std::string("MAJOR=1\nMINOR=3\nDEVNAME=null\n"));
    EXPECT_FALSE(ReadHidIdentity((root.Path / "dev").string(), identity));
    WriteFile(root.Path / "bad/uevent", std::string("HID_ID=0003:XYZ:00001212\n"));
    EXPECT_FALSE(ReadHidIdentity((root.Path / "bad").string(), identity));
}
