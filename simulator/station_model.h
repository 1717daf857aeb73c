// The stand-in weather station: the behaviour of the real station as the program sees it, with no
// transport. Output reports and the passing of time go in; 64-byte input reports (data only, the
// transport puts the report id in front) come out through the input report handler.
//
// What it does with each command:
//   1  streams a readings report every StreamInterval, the first one at once;
//   2  applies the setting item of byte 18; the following readings reports show the result;
//   3  sends a copy of its history memory, taken when the command arrives, as 512 blocks of 64
//      bytes in memory order, one every BlockInterval (the first at once);
//   4  clears the history memory (all 255) at once and sends 512 progress reports (readings
//      reports, whose content the program does not use), paced like a download;
//   5  stops whatever it is sending: the stream, or a download or clear in progress (the blocks
//      not yet sent are dropped; a clear has already happened).
// A new command 1, 3 or 4 replaces what was being sent. Reports that are malformed (shorter than
// 20 bytes, report id other than 0) and unknown codes are ignored, as are setting values out of
// their range.
//
// While saving is on it logs one record at every full hour of its clock, into the record after
// the last non-empty one; when the last record of the memory is taken, logging stops (the memory
// is full; the program reads the newest day from the end of the filled part, so it never wraps).
//
// Everything follows from the seed and from the time driven through Advance, so tests repeat.
#pragma once

#include "protocol/history_layout.h"
#include "simulator/station_weather.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace simulator {

using TInputReport = std::array<std::uint8_t, ReportImageSize>;
using THistoryMemory = std::array<std::uint8_t, HistoryImageSize>;
using THistoryRecordBytes = std::array<std::uint8_t, HistoryRecordSize>;
using TSensorCode = std::array<std::uint8_t, SensorCodeLength>;
using TSensor = TSensorSelect;

// A calendar date and time of the station's clock (full year, e.g. 2016).
struct TStationDateTime
{
    int Year = 2016;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;

    bool IsValid() const;
    TStationTime ToTime() const;
    static TStationDateTime FromTime(TStationTime time);
    friend bool operator==(const TStationDateTime&, const TStationDateTime&) = default;
};

enum class TTransferMode {
    Idle,
    Streaming,   // readings reports (code 1)
    Downloading, // history blocks (code 3)
    Clearing     // progress reports of a clear (code 4)
};

class TStationModel
{
public:
    using TInputReportHandler = std::function<void(const TInputReport& data)>;

    explicit TStationModel(std::uint32_t seed = 1, TStationDateTime clock = {});

    // One output report as written by the program: byte 0 is the report id, byte 19 the command.
    void HandleOutputReport(const std::uint8_t* report, std::size_t length);

    // Lets time pass: the clock runs (with its correction), due reports are sent and full hours
    // are logged, in time order.
    void Advance(std::chrono::milliseconds elapsed);

    // Receives every input report. The handler must not call back into the model.
    void SetInputReportHandler(TInputReportHandler handler) { InputReportHandler = std::move(handler); }

    // How long from the model's present until the next report of the stream, download or clear is
    // due (0 when it is due now); none while nothing is being sent. Between reports only the clock
    // runs and full hours are logged, which one Advance catches up on in time order, so a transport
    // may sleep until then (or until the next command, when nothing is due).
    std::optional<std::chrono::milliseconds> UntilNextReport() const;

    void SetStreamInterval(std::chrono::milliseconds interval); // at least 1 ms; default 1 s
    void SetBlockInterval(std::chrono::milliseconds interval);  // 0 sends all 512 at once; default 8 ms
    std::chrono::milliseconds StreamInterval() const { return StreamPeriod; }
    std::chrono::milliseconds BlockInterval() const { return BlockPeriod; }

    // Fills the history memory from record 0 with one record per hour for the given number of days,
    // ending with the hour of `end`: the weather of `seed`, a few values missing (255) and on some
    // days a few hours without a record (the station was off). At most the newest 4096 hours are
    // kept; the rest of the memory is empty. Logging then continues after the last record.
    void FillPlausibleHistory(int days, TStationDateTime end, std::uint32_t seed);

    // The readings report the station would send now.
    TInputReport ReadingsReport() const;

    // State, for tests and for the demo's set-up.
    TTransferMode Mode() const { return Transfer; }
    const THistoryMemory& HistoryMemory() const { return Memory; }
    void SetHistoryMemory(const THistoryMemory& memory) { Memory = memory; }
    std::size_t NextRecord() const; // the record the next hourly log goes to; 4096 when full
    TStationDateTime Clock() const { return TStationDateTime::FromTime(ClockTime); }
    void SetClock(TStationDateTime clock);
    std::uint8_t ClockCorrection() const { return ClockCorrectionValue; }
    const TSensorCode& SensorCode(TSensor sensor) const { return Codes[sensor]; }
    bool PressureOn() const { return PressureOnValue; }
    std::uint8_t PressureCorrection() const { return PressureCorrectionValue; }
    bool HumidityOn() const { return HumidityOnValue; }
    std::uint8_t HumidityCorrection() const { return HumidityCorrectionValue; }
    bool TimerOn() const { return TimerOnValue; }
    std::uint16_t TimerValue() const { return Timer; }
    bool SavingOn() const { return SavingOnValue; }

    // The code a sensor answers with when it is read: a 1-Wire ROM code (family 28h, serial,
    // CRC-8), fixed per sensor and seed.
    TSensorCode SensorRomCode(TSensor sensor) const;

    // A history record of the weather at a time, with the settings' effect (absent sensors and
    // measurements switched off are missing).
    THistoryRecordBytes RecordAt(TStationTime time) const;

private:
    void ApplySetting(const std::uint8_t* report);
    void Send(const TInputReport& data);
    void SendNextTransferReport();
    void RunClock(std::chrono::milliseconds elapsed);
    void LogRecord(TStationTime hour);
    bool SensorPresent(TSensor sensor) const;

    std::uint32_t Seed;
    TInputReportHandler InputReportHandler;

    // Time since construction, and when the next report of the transfer is due.
    std::chrono::milliseconds Now{0};
    std::chrono::milliseconds Due{0};
    std::chrono::milliseconds StreamPeriod{1000};
    std::chrono::milliseconds BlockPeriod{8};
    TTransferMode Transfer = TTransferMode::Idle;
    int BlockIndex = 0;
    THistoryMemory Snapshot{};

    TStationTime ClockTime;
    std::int64_t DriftRemainder = 0; // of the clock correction, in ms x 86400
    THistoryMemory Memory{};

    std::uint8_t ClockCorrectionValue = ClockCorrectionZero;
    std::array<TSensorCode, 2> Codes{};
    bool PressureOnValue = true;
    std::uint8_t PressureCorrectionValue = PressureCorrectionZero;
    bool HumidityOnValue = true;
    std::uint8_t HumidityCorrectionValue = HumidityCorrectionZero;
    bool TimerOnValue = false;
    std::uint16_t Timer = 0;
    bool SavingOnValue = true;
};

} // namespace simulator
