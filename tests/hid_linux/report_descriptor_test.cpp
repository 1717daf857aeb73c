#include "hid/platform/linux/report_descriptor.h"
#include "test_support.h"

#include <gtest/gtest.h>

using hidlinuxtest::LoadHex;
using hidplatform::ParseReportDescriptor;

namespace {

hidplatform::DescriptorParseResult Parse(const std::vector<std::uint8_t>& bytes)
{
    return ParseReportDescriptor(bytes.data(), bytes.size());
}

} // namespace

TEST(ReportDescriptor, VendorDeviceWithoutReportIdsCountsTheIdByteTheLayerAdds)
{
    const auto result = Parse(LoadHex("station.hex"));
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_FALSE(result.Layout.NumberedReports);
    EXPECT_EQ(result.Layout.InputReportByteLength, 65);
    EXPECT_EQ(result.Layout.OutputReportByteLength, 65);
    EXPECT_EQ(result.Layout.FeatureReportByteLength, 0);
}

TEST(ReportDescriptor, BootKeyboardSumsEveryFieldOfTheReport)
{
    const auto result = Parse(LoadHex("boot_keyboard.hex"));
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_FALSE(result.Layout.NumberedReports);
    EXPECT_EQ(result.Layout.InputReportByteLength, 9);  // modifiers, reserved, six keys
    EXPECT_EQ(result.Layout.OutputReportByteLength, 2); // five LED bits and padding
}

TEST(ReportDescriptor, NumberedReportsAreCountedPerIdAndTheLargestWins)
{
    const auto result = Parse(LoadHex("keyboard_composite.hex"));
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_TRUE(result.Layout.NumberedReports);
    // Report 0x11 (19 data bytes) is the longest input and output; summing across ids would give 37.
    EXPECT_EQ(result.Layout.InputReportByteLength, 20);
    EXPECT_EQ(result.Layout.OutputReportByteLength, 20);
    EXPECT_EQ(result.Layout.FeatureReportByteLength, 64);
}

TEST(ReportDescriptor, PopRestoresSizeCountAndReportId)
{
    const auto mouse = Parse(LoadHex("mouse_push_pop.hex"));
    ASSERT_TRUE(mouse.Ok) << mouse.Error;
    EXPECT_EQ(mouse.Layout.InputReportByteLength, 4); // 3 + 5 + 2 x 8 bits, id byte

    // Report 1 gets 2 bytes, the pushed state is changed to report 2 with 10 bytes, and after the
    // pop the last input item (3 bytes) goes to report 1 again: report 1 has 5 bytes.
    const std::vector<std::uint8_t> ids = {0x85, 0x01, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02, //
                                           0xA4, 0x85, 0x02, 0x95, 0x0A, 0x81, 0x02,       //
                                           0xB4, 0x95, 0x03, 0x81, 0x02};
    const auto result = Parse(ids);
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(result.Layout.InputReportByteLength, 11); // report 2: 10 bytes + id
    std::vector<std::uint8_t> shorter = ids;
    shorter[12] = 0x01; // report 2 now 1 byte: report 1 (2 + 3 bytes) is the longest
    const auto second = Parse(shorter);
    ASSERT_TRUE(second.Ok) << second.Error;
    EXPECT_EQ(second.Layout.InputReportByteLength, 6);
}

TEST(ReportDescriptor, LongItemsAreSkippedWhole)
{
    std::vector<std::uint8_t> bytes = {0xFE, 0x03, 0x10, 0x81, 0x02, 0x95}; // data that looks like items
    const auto station = LoadHex("station.hex");
    bytes.insert(bytes.end(), station.begin(), station.end());
    const auto result = Parse(bytes);
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(result.Layout.InputReportByteLength, 65);
    EXPECT_EQ(result.Layout.OutputReportByteLength, 65);
}

TEST(ReportDescriptor, BitFieldsRoundUpToWholeBytes)
{
    const std::vector<std::uint8_t> bytes = {0x75, 0x01, 0x95, 0x09, 0x81, 0x02, 0x75, 0x03, 0x95, 0x01, 0xB1, 0x02};
    const auto result = Parse(bytes);
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(result.Layout.InputReportByteLength, 3);   // 9 bits -> 2 bytes
    EXPECT_EQ(result.Layout.FeatureReportByteLength, 2); // 3 bits -> 1 byte
    EXPECT_EQ(result.Layout.OutputReportByteLength, 0);  // none declared
}

TEST(ReportDescriptor, EmptyDescriptorHasNoReports)
{
    const auto result = ParseReportDescriptor(nullptr, 0);
    ASSERT_TRUE(result.Ok);
    EXPECT_EQ(result.Layout.InputReportByteLength, 0);
}

TEST(ReportDescriptor, MalformedDescriptorsFailWithTheOffendingOffset)
{
    struct Case
    {
        const char* Name;
        std::vector<std::uint8_t> Bytes;
        std::size_t Offset;
    };
    const Case cases[] = {
        {"short item cut in its data", {0x75, 0x08, 0x26, 0xFF}, 2},
        {"four-byte item cut", {0x27, 0xFF, 0xFF, 0x00}, 0},
        {"long item header cut", {0x75, 0x08, 0xFE, 0x04}, 2},
        {"long item data cut", {0xFE, 0x05, 0x00, 0x01, 0x02}, 0},
        {"pop without push", {0x75, 0x08, 0xB4}, 2},
        {"report id 0", {0x85, 0x00, 0x81, 0x02}, 0},
        {"report id above 255", {0x86, 0x00, 0x01}, 0},
        {"end collection without collection", {0xC0}, 0},
        {"collection never closed", {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02}, 8},
        // 0xFFFFFFFF x 0xFFFFFFFF bits would overflow 32-bit arithmetic.
        {"absurd report", {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02}, 10},
        {"report beyond 16-bit length", {0x75, 0x08, 0x96, 0xFF, 0xFF, 0x81, 0x02}, 5},
    };
    for (const Case& c : cases) {
        const auto result = Parse(c.Bytes);
        EXPECT_FALSE(result.Ok) << c.Name;
        EXPECT_FALSE(result.Error.empty()) << c.Name;
        EXPECT_EQ(result.ErrorOffset, c.Offset) << c.Name;
    }

    // Every prefix of a real descriptor either parses or fails cleanly (the run is checked for
    // overruns by the sanitizer build).
    const auto composite = LoadHex("keyboard_composite.hex");
    for (std::size_t n = 0; n < composite.size(); ++n) {
        std::vector<std::uint8_t> prefix(composite.begin(), composite.begin() + static_cast<std::ptrdiff_t>(n));
        const auto result = Parse(prefix);
        if (!result.Ok) {
            EXPECT_LE(result.ErrorOffset, n);
        }
    }
}

TEST(ReportDescriptor, PushDepthIsBounded)
{
    std::vector<std::uint8_t> bytes(100, 0xA4);
    const auto result = Parse(bytes);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.Error, "global item stack overflow");
}
