// The station's report protocol: one 64-byte image serves both directions. An input report's data
// lands at image byte 0 onward (image byte i = input report byte i + 1); an output report is built
// in place with image byte i = output report byte i.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

constexpr int ReportImageSize = 64;
using TReportImage = std::array<std::uint8_t, ReportImageSize>;

// Input report fields, by image index.
namespace InField {
constexpr int ClockHours = 0;
constexpr int ClockMinutes = 1;
constexpr int ClockSeconds = 2;
constexpr int ClockCorrection = 3;
constexpr int ClockDay = 4;
constexpr int ClockMonth = 5;
constexpr int ClockYear = 6;
constexpr int IndoorStatus = 7;
constexpr int OutdoorStatus = 8;
constexpr int IndoorTemperature = 9;
constexpr int OutdoorTemperature = 10;
constexpr int OutdoorSign = 11;
constexpr int IndoorSensorCode = 12;  // 8 bytes
constexpr int OutdoorSensorCode = 20; // 8 bytes
constexpr int PressureOn = 28;
constexpr int PressureRaw = 29;
constexpr int PressureCorrection = 30;
constexpr int HumidityOn = 31;
constexpr int Humidity = 32;
constexpr int HumidityCorrection = 33;
constexpr int TimerHigh = 34;
constexpr int TimerLow = 35;
constexpr int TimerOn = 36;
constexpr int SavingOn = 37;
} // namespace InField

constexpr int SensorCodeLength = 8;

// Output report fields, by image index (= output report byte).
namespace OutField {
constexpr int ReportId = 0;
constexpr int SetSeconds = 1;
constexpr int SetMinutes = 2;
constexpr int SetHours = 3;
constexpr int ClockFormat = 4; // always ClockFormatValue
constexpr int SetDay = 5;
constexpr int SetMonth = 6;
constexpr int SetYear = 7;
constexpr int ClockCorrection = 8;
constexpr int SensorSelect = 9;
constexpr int PressureOn = 10;
constexpr int PressureCorrection = 11;
constexpr int HumidityOn = 12;
constexpr int HumidityCorrection = 13;
constexpr int TimerHigh = 14;
constexpr int TimerLow = 15;
constexpr int TimerOn = 16;
constexpr int SavingOn = 17;
constexpr int SettingItem = 18;
constexpr int CommandCode = 19;
} // namespace OutField

constexpr std::uint8_t OutReportId = 0;
constexpr std::uint8_t ClockFormatValue = 2;

// What a command (output byte 19) tells the station to do.
enum class TCommandCode : std::uint8_t {
    StreamReadings = 1,  // stream readings and settings reports
    ApplySetting = 2,    // apply the setting item of byte 18
    DownloadHistory = 3, // send the history memory as 512 reports
    ClearHistory = 4,    // clear the history memory, 512 progress reports
    Quiet = 5,           // nothing expected back
};

// Which setting a settings command applies (output byte 18).
enum class TSettingItem : std::uint8_t {
    TimeAndDate = 1,
    ReadSensorCode = 2,
    ClearSensorCode = 3,
    Pressure = 4,
    Humidity = 5,
    Timer = 6,
    Saving = 7,
};

// Markers in input reports; each is tested for its one exact value.
constexpr std::uint8_t TemperaturePresent = 16;
constexpr std::uint8_t MarkerOn = 1;
constexpr std::uint8_t MarkerOff = 0;
constexpr std::uint8_t OutdoorBelowZero = 0; // OutdoorSign
constexpr std::uint8_t NoValue = 255;

// SensorSelect values.
enum TSensorSelect : std::uint8_t {
    IndoorSensor = 0,
    OutdoorSensor = 1,
};

// Pressure in mm of mercury is this minus the pressure byte, in readings reports and history
// records alike.
constexpr int PressureBase = 885;
constexpr int DecodePressure(std::uint8_t code)
{
    return PressureBase - code;
}
// The byte of a pressure: beyond what the byte holds, the nearest code, never the 255 marker.
constexpr std::uint8_t EncodePressure(int mmHg)
{
    return static_cast<std::uint8_t>(std::clamp(PressureBase - mmHg, 0, 254));
}

// Corrections are offsets with a fixed zero point; the settings page shows the signed difference.
constexpr int ClockCorrectionZero = 20;
constexpr int ClockCorrectionMax = 40;
constexpr int PressureCorrectionZero = 10;
constexpr int PressureCorrectionMax = 80;
constexpr int HumidityCorrectionZero = 25;
constexpr int HumidityCorrectionMax = 50;
// The timer is edited in steps of TimerStep up to TimerPositionMax steps.
constexpr int TimerStep = 10;
constexpr int TimerPositionMax = 90;
