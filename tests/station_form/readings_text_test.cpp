// Texts made from the report image: readings panels, corrections, clock, sensor codes, timer.
#include "core/readings_text.h"

#include <gtest/gtest.h>

namespace {

TReportImage BlankImage()
{
    TReportImage image;
    image.fill(NoValue);
    return image;
}

TEST(ReadingsText, ImageBeforeTheFirstReportGivesEveryPlaceholder)
{
    const TReportImage image = BlankImage();
    EXPECT_EQ(IndoorTemperatureText(image), QStringLiteral("Температура в доме: -----°C"));
    EXPECT_EQ(OutdoorTemperatureText(image), QStringLiteral("Температура на улице: -----°C"));
    EXPECT_EQ(PressureText(image), QStringLiteral("Атмосферное давление: ----- мм рт.ст."));
    EXPECT_EQ(HumidityText(image), QStringLiteral("Относительная влажность: -----%"));
}

TEST(ReadingsText, IndoorAlwaysCarriesAPlusAndNeedsStatusExactly16)
{
    TReportImage image = BlankImage();
    image[InField::IndoorStatus] = 16;
    image[InField::IndoorTemperature] = 23;
    EXPECT_EQ(IndoorTemperatureText(image), QStringLiteral("Температура в доме: +23°C"));
    image[InField::IndoorTemperature] = 0;
    EXPECT_EQ(IndoorTemperatureText(image), QStringLiteral("Температура в доме: +0°C"));
    image[InField::IndoorStatus] = 17;
    EXPECT_EQ(IndoorTemperatureText(image), IndoorPlaceholder);
}

TEST(ReadingsText, OutdoorSignAndZero)
{
    TReportImage image = BlankImage();
    image[InField::OutdoorStatus] = 16;
    image[InField::OutdoorTemperature] = 5;
    image[InField::OutdoorSign] = 0;
    EXPECT_EQ(OutdoorTemperatureText(image), QStringLiteral("Температура на улице: -5°C"));
    image[InField::OutdoorTemperature] = 12;
    image[InField::OutdoorSign] = 7;
    EXPECT_EQ(OutdoorTemperatureText(image), QStringLiteral("Температура на улице: +12°C"));
    image[InField::OutdoorTemperature] = 0;
    for (int sign : {0, 1, 255}) {
        image[InField::OutdoorSign] = static_cast<std::uint8_t>(sign);
        EXPECT_EQ(OutdoorTemperatureText(image), QStringLiteral("Температура на улице: 0°C"));
    }
    image[InField::OutdoorStatus] = 17;
    EXPECT_EQ(OutdoorTemperatureText(image), OutdoorPlaceholder);
}

TEST(ReadingsText, PressureAndHumidityNeedTheirFlagExactlyOn)
{
    TReportImage image = BlankImage();
    image[InField::PressureOn] = 1;
    image[InField::PressureRaw] = 130;
    EXPECT_EQ(PressureText(image), QStringLiteral("Атмосферное давление: 755 мм рт.ст."));
    image[InField::PressureRaw] = 0;
    EXPECT_EQ(PressureText(image), QStringLiteral("Атмосферное давление: 885 мм рт.ст."));
    image[InField::PressureRaw] = 255;
    EXPECT_EQ(PressureText(image), QStringLiteral("Атмосферное давление: 630 мм рт.ст."));
    image[InField::PressureOn] = 2;
    EXPECT_EQ(PressureText(image), PressurePlaceholder);

    image[InField::HumidityOn] = 1;
    image[InField::Humidity] = 45;
    EXPECT_EQ(HumidityText(image), QStringLiteral("Относительная влажность: 45%"));
    image[InField::HumidityOn] = 0;
    EXPECT_EQ(HumidityText(image), HumidityPlaceholder);
}

TEST(ReadingsText, CorrectionIsTheSignedDifferenceFromItsZeroPoint)
{
    EXPECT_EQ(CorrectionText(20, ClockCorrectionZero), QStringLiteral("0"));
    EXPECT_EQ(CorrectionText(25, ClockCorrectionZero), QStringLiteral("+5"));
    EXPECT_EQ(CorrectionText(3, ClockCorrectionZero), QStringLiteral("-17"));
    EXPECT_EQ(CorrectionText(10, PressureCorrectionZero), QStringLiteral("0"));
    EXPECT_EQ(CorrectionText(80, PressureCorrectionZero), QStringLiteral("+70"));
    EXPECT_EQ(CorrectionText(0, HumidityCorrectionZero), QStringLiteral("-25"));
    EXPECT_EQ(CorrectionText(255, ClockCorrectionZero), QStringLiteral("+235"));
}

TEST(ReadingsText, ClockFieldsAndSensorCodes)
{
    EXPECT_EQ(TwoDigitText(7), QStringLiteral("07"));
    EXPECT_EQ(TwoDigitText(0), QStringLiteral("00"));
    EXPECT_EQ(TwoDigitText(10), QStringLiteral("10"));
    EXPECT_EQ(TwoDigitText(123), QStringLiteral("123"));

    TReportImage image = BlankImage();
    image[InField::ClockHours] = 9;
    image[InField::ClockMinutes] = 5;
    image[InField::ClockSeconds] = 0;
    image[InField::ClockDay] = 31;
    image[InField::ClockMonth] = 12;
    image[InField::ClockYear] = 255;
    EXPECT_EQ(StationTimeText(image), QStringLiteral("09:05:00"));
    EXPECT_EQ(StationDateText(image), QStringLiteral("31.12.255"));

    const std::uint8_t code[8] = {0x28, 0xFF, 0x4B, 0x06, 0x00, 0x00, 0x80, 0x1A};
    std::copy(code, code + 8, image.begin() + InField::OutdoorSensorCode);
    EXPECT_EQ(SensorCodeText(image, InField::OutdoorSensorCode), QStringLiteral("28FF4B060000801A"));
    EXPECT_EQ(SensorCodeText(image, InField::IndoorSensorCode), QStringLiteral("FFFFFFFFFFFFFFFF"));
    // A code that would run past the image stops at its end.
    EXPECT_EQ(SensorCodeText(image, 60), QStringLiteral("FFFFFFFF"));
    EXPECT_EQ(SensorCodeText(image, -3), QString());
}

TEST(ReadingsText, TimerPositionRoundsHalvesToEven)
{
    EXPECT_EQ(TimerPosition(0), 0);
    EXPECT_EQ(TimerPosition(4), 0);
    EXPECT_EQ(TimerPosition(5), 0);
    EXPECT_EQ(TimerPosition(6), 1);
    EXPECT_EQ(TimerPosition(15), 2);
    EXPECT_EQ(TimerPosition(125), 12);
    EXPECT_EQ(TimerPosition(135), 14);
    EXPECT_EQ(TimerPosition(900), 90);
    EXPECT_EQ(TimerPosition(65535), 6554);
}

} // namespace
