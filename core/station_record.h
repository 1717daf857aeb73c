// The program-wide state of the station application, touched on the main thread only. Flags are
// bytes holding 0 or 1 and are tested for exactly 1.
#pragma once

#include "protocol/report_layout.h"

#include <cstdint>

class THidDevice;

struct TStationRecord
{
    // The device checked out as the station; none while no station is connected.
    THidDevice* StationDevice = nullptr;
    // Shared by input and output reports; all 255 until the first input report.
    TReportImage ReportImage{};
    std::uint8_t ClockCorrection = 0;    // 0..40, 20 is none
    std::uint8_t PressureCorrection = 0; // 0..80, 10 is none
    std::uint8_t HumidityCorrection = 0; // 0..50, 25 is none
    std::uint16_t TimerValue = 0;
    std::int32_t BlockCount = 0; // reports counted during a history download or clear
    std::uint8_t Closing = 0;
    std::uint8_t HistoryComplete = 1;
    std::uint8_t DownloadActive = 0;
    std::uint8_t ClearActive = 0;
    std::uint8_t SettingsLoadRequest = 0; // one-shot: the next refresh loads the settings page
    std::uint8_t SettingsLive = 0;        // the clock, date and sensor codes follow every refresh
    // The last readings report while they follow: the settings page shows its clock, date and
    // codes when it is shown (ReportImage holds each command sent since).
    TReportImage SettingsReport{};
    std::uint8_t ReadCodeRequest = 0;
    std::uint8_t ClearCodeRequest = 0;

    void SetCommandCode(TCommandCode code) { ReportImage[OutField::CommandCode] = static_cast<std::uint8_t>(code); }
    void SetSettingItem(TSettingItem item) { ReportImage[OutField::SettingItem] = static_cast<std::uint8_t>(item); }
};
