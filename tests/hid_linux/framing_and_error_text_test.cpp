#include "hid/platform/error_text.h"
#include "hid/platform/linux/report_framing.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

using namespace hidplatform;

TEST(ReportFraming, UnnumberedReportsLeaveRoomForTheIdByte)
{
    ReadFrame frame;
    ASSERT_TRUE(FrameRead(false, 65, frame));
    EXPECT_EQ(frame.Offset, 1u);
    EXPECT_EQ(frame.Capacity, 64u);
    EXPECT_EQ(FramedReadSize(frame, 64), 65u);
    EXPECT_EQ(FramedReadSize(frame, 8), 9u);    // a shorter report
    EXPECT_EQ(FramedReadSize(frame, 0), 0u);    // nothing read is no report, not a lone id byte
    EXPECT_EQ(FramedReadSize(frame, 100), 65u); // never more than the buffer

    EXPECT_FALSE(FrameRead(false, 1, frame)); // no room for data
    EXPECT_FALSE(FrameRead(false, 0, frame));
}

TEST(ReportFraming, NumberedReportsComeWithTheirIdByte)
{
    ReadFrame frame;
    ASSERT_TRUE(FrameRead(true, 20, frame));
    EXPECT_EQ(frame.Offset, 0u);
    EXPECT_EQ(frame.Capacity, 20u);
    EXPECT_EQ(FramedReadSize(frame, 3), 3u);
    EXPECT_TRUE(FrameRead(true, 1, frame));
    EXPECT_FALSE(FrameRead(true, 0, frame));
}

TEST(ErrorText, CommonReasonsInRussianTheRestAsTheSystemSaysThem)
{
    // Tests run under the C locale, where strerror speaks English.
    const std::pair<std::uint32_t, const char*> texts[] = {
        {ENODEV, "Устройство отключено"},      {ESHUTDOWN, "Устройство отключено"},
        {ENOENT, "Устройство не найдено"},     {EACCES, "Нет доступа к устройству"},
        {EPERM, "Нет доступа к устройству"},   {EBUSY, "Устройство занято другой программой"},
        {EIO, "Ошибка ввода-вывода"},          {EPIPE, "Устройство не принимает данные"},
        {ETIMEDOUT, "Устройство не отвечает"}, {EPROTO, "Ошибка обмена данными с устройством"},
        {EROFS, "Read-only file system"},      {123456, "Unknown error 123456"},
        {0xFFFFFFFFu, "Unknown error -1"},
    };
    for (const auto& [code, text] : texts)
        EXPECT_EQ(SystemErrorText(code), text) << code;
}
