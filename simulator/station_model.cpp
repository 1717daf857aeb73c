#include "simulator/station_model.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace simulator {
namespace {

using namespace std::chrono;

// Input layout (data byte index)
enum : std::size_t
{
    InClockHours = 0,
    InClockMinutes = 1,
    InClockSeconds = 2,
    InClockCorrection = 3,
    InClockDay = 4,
    InClockMonth = 5,
    InClockYear = 6,
    InIndoorStatus = 7,
    InOutdoorStatus = 8,
    InIndoorTemperature = 9,
    InOutdoorTemperature = 10,
    InOutdoorSign = 11,
    InIndoorSensorCode = 12,
    InOutdoorSensorCode = 20,
    InPressureOn = 28,
    InPressureRaw = 29,
    InPressureCorrection = 30,
    InHumidityOn = 31,
    InHumidity = 32,
    InHumidityCorrection = 33,
    InTimerHigh = 34,
    InTimerLow = 35,
    InTimerOn = 36,
    InSavingOn = 37
};

// Output layout (report byte index, byte 0 being the report id)
enum : std::size_t
{
    OutSeconds = 1,
    OutMinutes = 2,
    OutHours = 3,
    OutDay = 5,
    OutMonth = 6,
    OutYear = 7,
    OutClockCorrection = 8,
    OutSensorSelect = 9,
    OutPressureOn = 10,
    OutPressureCorrection = 11,
    OutHumidityOn = 12,
    OutHumidityCorrection = 13,
    OutTimerHigh = 14,
    OutTimerLow = 15,
    OutTimerOn = 16,
    OutSavingOn = 17,
    OutSettingItem = 18,
    OutCommandCode = 19,
    OutMinimumLength = 20
};

constexpr std::uint8_t PresentStatus = 16;
constexpr std::uint8_t Missing = 255;
constexpr std::uint8_t MaxClockCorrection = 40;
constexpr std::uint8_t MaxPressureCorrection = 80;
constexpr std::uint8_t MaxHumidityCorrection = 50;
constexpr int NeutralClockCorrection = 20;
constexpr int NeutralPressureCorrection = 10;
constexpr int NeutralHumidityCorrection = 25;
constexpr std::int64_t MsPerDay = 86'400'000;

enum : std::uint64_t
{
    SensorChannel = 101,
    GapDayChannel = 102,
    GapStartChannel = 103,
    GapLengthChannel = 104,
    MissingChannel = 110 // + field
};

struct TMeasurement
{
    bool IndoorPresent = true;
    bool OutdoorPresent = true;
    bool PressureOn = true;
    int PressureCorrection = NeutralPressureCorrection;
    bool HumidityOn = true;
    int HumidityCorrection = NeutralHumidityCorrection;
};

struct TValues
{
    int Indoor = 0;   // valid when the indoor sensor is present
    int Outdoor = 0;  // signed, valid when the outdoor sensor is present
    int Pressure = 0; // mm Hg with the correction
    int Humidity = 0; // percent with the correction
};

TValues Measure(const TWeather& w, const TMeasurement& m)
{
    TValues v;
    v.Indoor = std::clamp(static_cast<int>(std::lround(w.Indoor)), 0, 254);
    v.Outdoor = std::clamp(static_cast<int>(std::lround(w.Outdoor)), -126, 127);
    v.Pressure = static_cast<int>(std::lround(w.Pressure)) + m.PressureCorrection - NeutralPressureCorrection;
    v.Humidity = std::clamp(static_cast<int>(std::lround(w.Humidity)) + m.HumidityCorrection - NeutralHumidityCorrection,
                            0, 100);
    return v;
}

std::uint8_t PressureCode(int pressure)
{
    return static_cast<std::uint8_t>(std::clamp(885 - pressure, 0, 254));
}

std::array<std::uint8_t, HistoryRecordLength> MakeRecord(std::uint32_t seed, TStationTime time, const TMeasurement& m)
{
    const TValues v = Measure(WeatherAt(seed, time), m);
    const TStationDateTime at = TStationDateTime::FromTime(time);
    std::array<std::uint8_t, HistoryRecordLength> record;
    record[0] = m.IndoorPresent ? static_cast<std::uint8_t>(v.Indoor) : Missing;
    // sign and magnitude: 128 + magnitude below zero
    record[1] = !m.OutdoorPresent ? Missing
                                  : static_cast<std::uint8_t>(v.Outdoor < 0 ? 128 - v.Outdoor : v.Outdoor);
    record[2] = m.PressureOn ? PressureCode(v.Pressure) : Missing;
    record[3] = m.HumidityOn ? static_cast<std::uint8_t>(v.Humidity) : Missing;
    record[4] = static_cast<std::uint8_t>(at.Hour);
    record[5] = static_cast<std::uint8_t>(at.Day);
    record[6] = static_cast<std::uint8_t>(at.Month);
    record[7] = static_cast<std::uint8_t>(at.Year % 100);
    return record;
}

std::uint8_t Crc8Maxim(const std::uint8_t* data, std::size_t length)
{
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < length; ++i) {
        std::uint8_t byte = data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = (crc ^ byte) & 1;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C;
            byte >>= 1;
        }
    }
    return crc;
}

bool CodePresent(const TSensorCode& code)
{
    return std::any_of(code.begin(), code.end(), [](std::uint8_t b) { return b != Missing; });
}

} // namespace

bool TStationDateTime::IsValid() const
{
    const year_month_day date{year{Year}, month{static_cast<unsigned>(Month)}, day{static_cast<unsigned>(Day)}};
    return Year >= 2000 && Year <= 2099 && Month >= 1 && Month <= 12 && Day >= 1 && date.ok() && Hour >= 0 &&
           Hour <= 23 && Minute >= 0 && Minute <= 59 && Second >= 0 && Second <= 59;
}

TStationTime TStationDateTime::ToTime() const
{
    const sys_days date{year{Year} / month{static_cast<unsigned>(Month)} / day{static_cast<unsigned>(Day)}};
    return TStationTime{date} + hours{Hour} + minutes{Minute} + seconds{Second};
}

TStationDateTime TStationDateTime::FromTime(TStationTime time)
{
    const auto date = floor<days>(time);
    const year_month_day ymd{date};
    const hh_mm_ss<milliseconds> clock{time - date};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count())};
}

TStationModel::TStationModel(std::uint32_t seed, TStationDateTime clock)
    : Seed(seed)
{
    SetClock(clock);
    Memory.fill(Missing);
    Codes[IndoorSensor] = SensorRomCode(IndoorSensor);
    Codes[OutdoorSensor] = SensorRomCode(OutdoorSensor);
}

void TStationModel::SetClock(TStationDateTime clock)
{
    if (!clock.IsValid())
        throw std::invalid_argument("station clock: not a valid date and time of 2000..2099");
    ClockTime = clock.ToTime();
    DriftRemainder = 0;
}

void TStationModel::SetStreamInterval(milliseconds interval)
{
    StreamPeriod = std::max(interval, milliseconds{1});
}

void TStationModel::SetBlockInterval(milliseconds interval)
{
    BlockPeriod = std::max(interval, milliseconds{0});
}

TSensorCode TStationModel::SensorRomCode(TSensor sensor) const
{
    TSensorCode code;
    code[0] = 0x28; // family of the digital thermometer
    const std::uint64_t serial = Hash(Seed, SensorChannel, sensor);
    for (int i = 1; i <= 6; ++i)
        code[i] = static_cast<std::uint8_t>(serial >> (8 * (i - 1)));
    code[7] = Crc8Maxim(code.data(), 7);
    return code;
}

bool TStationModel::SensorPresent(TSensor sensor) const
{
    return CodePresent(Codes[sensor]);
}

TInputReport TStationModel::ReadingsReport() const
{
    const TStationDateTime at = Clock();
    const TMeasurement m{SensorPresent(IndoorSensor), SensorPresent(OutdoorSensor), PressureOnValue,
                         PressureCorrectionValue, HumidityOnValue, HumidityCorrectionValue};
    const TValues v = Measure(WeatherAt(Seed, ClockTime), m);

    TInputReport r{};
    r[InClockHours] = static_cast<std::uint8_t>(at.Hour);
    r[InClockMinutes] = static_cast<std::uint8_t>(at.Minute);
    r[InClockSeconds] = static_cast<std::uint8_t>(at.Second);
    r[InClockCorrection] = ClockCorrectionValue;
    r[InClockDay] = static_cast<std::uint8_t>(at.Day);
    r[InClockMonth] = static_cast<std::uint8_t>(at.Month);
    r[InClockYear] = static_cast<std::uint8_t>(at.Year % 100);
    r[InIndoorStatus] = m.IndoorPresent ? PresentStatus : 0;
    r[InOutdoorStatus] = m.OutdoorPresent ? PresentStatus : 0;
    r[InIndoorTemperature] = m.IndoorPresent ? static_cast<std::uint8_t>(v.Indoor) : Missing;
    r[InOutdoorTemperature] = m.OutdoorPresent ? static_cast<std::uint8_t>(std::abs(v.Outdoor)) : Missing;
    r[InOutdoorSign] = m.OutdoorPresent ? (v.Outdoor < 0 ? 0 : 1) : Missing;
    std::copy(Codes[IndoorSensor].begin(), Codes[IndoorSensor].end(), r.begin() + InIndoorSensorCode);
    std::copy(Codes[OutdoorSensor].begin(), Codes[OutdoorSensor].end(), r.begin() + InOutdoorSensorCode);
    r[InPressureOn] = PressureOnValue ? 1 : 0;
    r[InPressureRaw] = PressureOnValue ? PressureCode(v.Pressure) : Missing;
    r[InPressureCorrection] = PressureCorrectionValue;
    r[InHumidityOn] = HumidityOnValue ? 1 : 0;
    r[InHumidity] = HumidityOnValue ? static_cast<std::uint8_t>(v.Humidity) : Missing;
    r[InHumidityCorrection] = HumidityCorrectionValue;
    r[InTimerHigh] = static_cast<std::uint8_t>(Timer >> 8);
    r[InTimerLow] = static_cast<std::uint8_t>(Timer & 0xFF);
    r[InTimerOn] = TimerOnValue ? 1 : 0;
    r[InSavingOn] = SavingOnValue ? 1 : 0;
    return r;
}

std::array<std::uint8_t, HistoryRecordLength> TStationModel::RecordAt(TStationTime time) const
{
    const TMeasurement m{SensorPresent(IndoorSensor), SensorPresent(OutdoorSensor), PressureOnValue,
                         PressureCorrectionValue, HumidityOnValue, HumidityCorrectionValue};
    return MakeRecord(Seed, time, m);
}

std::size_t TStationModel::NextRecord() const
{
    for (std::size_t r = HistoryRecordCount; r > 0; --r) {
        const auto* record = Memory.data() + (r - 1) * HistoryRecordLength;
        if (std::any_of(record, record + HistoryRecordLength, [](std::uint8_t b) { return b != Missing; }))
            return r;
    }
    return 0;
}

void TStationModel::HandleOutputReport(const std::uint8_t* report, std::size_t length)
{
    if (report == nullptr || length < OutMinimumLength || report[0] != 0)
        return;
    switch (report[OutCommandCode]) {
    case 1:
        Transfer = TTransferMode::Streaming;
        break;
    case 2:
        ApplySetting(report);
        return;
    case 3:
        Snapshot = Memory;
        Transfer = TTransferMode::Downloading;
        break;
    case 4:
        Memory.fill(Missing);
        Transfer = TTransferMode::Clearing;
        break;
    case 5:
        Transfer = TTransferMode::Idle;
        BlockIndex = 0;
        return;
    default:
        return;
    }
    BlockIndex = 0;
    Due = Now;
    while (Transfer != TTransferMode::Idle && Due <= Now)
        SendNextTransferReport();
}

void TStationModel::ApplySetting(const std::uint8_t* report)
{
    auto onOff = [](std::uint8_t byte, bool& target) {
        if (byte <= 1)
            target = byte == 1;
    };
    auto correction = [](std::uint8_t byte, std::uint8_t limit, std::uint8_t& target) {
        if (byte <= limit)
            target = byte;
    };
    const std::uint8_t sensor = report[OutSensorSelect];
    switch (report[OutSettingItem]) {
    case 1: {
        const TStationDateTime set{2000 + report[OutYear], report[OutMonth],   report[OutDay],
                                   report[OutHours],       report[OutMinutes], report[OutSeconds]};
        if (report[OutYear] <= 99 && set.IsValid())
            SetClock(set);
        correction(report[OutClockCorrection], MaxClockCorrection, ClockCorrectionValue);
        break;
    }
    case 2:
        if (sensor <= OutdoorSensor)
            Codes[sensor] = SensorRomCode(static_cast<TSensor>(sensor));
        break;
    case 3:
        // An erased code reads as all 255, and the sensor is then absent.
        if (sensor <= OutdoorSensor)
            Codes[sensor].fill(Missing);
        break;
    case 4:
        onOff(report[OutPressureOn], PressureOnValue);
        correction(report[OutPressureCorrection], MaxPressureCorrection, PressureCorrectionValue);
        break;
    case 5:
        onOff(report[OutHumidityOn], HumidityOnValue);
        correction(report[OutHumidityCorrection], MaxHumidityCorrection, HumidityCorrectionValue);
        break;
    case 6:
        onOff(report[OutTimerOn], TimerOnValue);
        Timer = static_cast<std::uint16_t>(report[OutTimerHigh] << 8 | report[OutTimerLow]);
        break;
    case 7:
        onOff(report[OutSavingOn], SavingOnValue);
        break;
    default:
        break;
    }
}

void TStationModel::Send(const TInputReport& data)
{
    if (InputReportHandler)
        InputReportHandler(data);
}

void TStationModel::SendNextTransferReport()
{
    switch (Transfer) {
    case TTransferMode::Idle:
        return;
    case TTransferMode::Streaming:
        Send(ReadingsReport());
        Due += StreamPeriod;
        return;
    case TTransferMode::Downloading: {
        TInputReport block;
        std::copy_n(Snapshot.begin() + BlockIndex * ReportDataLength, ReportDataLength, block.begin());
        Send(block);
        break;
    }
    case TTransferMode::Clearing:
        Send(ReadingsReport());
        break;
    }
    Due += BlockPeriod;
    if (++BlockIndex == static_cast<int>(HistoryBlockCount))
        Transfer = TTransferMode::Idle;
}

void TStationModel::Advance(milliseconds elapsed)
{
    if (elapsed < milliseconds{0})
        return;
    const milliseconds target = Now + elapsed;
    for (;;) {
        const milliseconds next = Transfer != TTransferMode::Idle ? std::min(Due, target) : target;
        RunClock(next - Now);
        Now = next;
        while (Transfer != TTransferMode::Idle && Due <= Now)
            SendNextTransferReport();
        if (Now == target)
            return;
    }
}

void TStationModel::RunClock(milliseconds elapsed)
{
    if (elapsed <= milliseconds{0})
        return;
    // The correction makes the clock gain (or lose) that many seconds a day beyond neutral.
    DriftRemainder += elapsed.count() * (ClockCorrectionValue - NeutralClockCorrection) * 1000;
    const std::int64_t drift = DriftRemainder / MsPerDay;
    DriftRemainder -= drift * MsPerDay;
    const TStationTime before = ClockTime;
    ClockTime += elapsed + milliseconds{drift};
    if (!SavingOnValue)
        return;
    for (auto hour = ceil<hours>(before + milliseconds{1}); hour <= ClockTime; hour += hours{1}) {
        if (NextRecord() >= HistoryRecordCount)
            return;
        LogRecord(TStationTime{hour});
    }
}

void TStationModel::LogRecord(TStationTime hour)
{
    const std::size_t r = NextRecord();
    if (r >= HistoryRecordCount)
        return;
    const auto record = RecordAt(hour);
    std::copy(record.begin(), record.end(), Memory.begin() + r * HistoryRecordLength);
}

void TStationModel::FillPlausibleHistory(int dayCount, TStationDateTime end, std::uint32_t seed)
{
    if (!end.IsValid())
        throw std::invalid_argument("history end: not a valid date and time of 2000..2099");
    Memory.fill(Missing);
    if (dayCount <= 0)
        return;

    const auto last = floor<hours>(end.ToTime());
    const auto first = last - hours{static_cast<std::int64_t>(dayCount) * 24 - 1};
    std::vector<std::array<std::uint8_t, HistoryRecordLength>> records;
    records.reserve(static_cast<std::size_t>(dayCount) * 24);
    for (auto hour = first; hour <= last; hour += hours{1}) {
        const auto hourIndex = static_cast<std::uint64_t>(hour.time_since_epoch().count());
        // About one day in twelve has a few hours when the station was off.
        const auto dayIndex = static_cast<std::uint64_t>(floor<days>(hour).time_since_epoch().count());
        if (Chance(seed, GapDayChannel, dayIndex) < 1.0 / 12) {
            const auto gapStart = static_cast<int>(Hash(seed, GapStartChannel, dayIndex) % 20);
            const auto gapLength = 2 + static_cast<int>(Hash(seed, GapLengthChannel, dayIndex) % 7);
            const int hourOfDay = static_cast<int>((hour - floor<days>(hour)).count());
            if (hourOfDay >= gapStart && hourOfDay < gapStart + gapLength)
                continue;
        }
        auto record = MakeRecord(seed, TStationTime{hour}, TMeasurement{});
        for (std::uint64_t field = 0; field < 4; ++field)
            if (Chance(seed, MissingChannel + field, hourIndex) < 0.02)
                record[field] = Missing;
        records.push_back(record);
    }
    const std::size_t keep = std::min(records.size(), HistoryRecordCount);
    const std::size_t skip = records.size() - keep;
    for (std::size_t r = 0; r < keep; ++r)
        std::copy(records[skip + r].begin(), records[skip + r].end(), Memory.begin() + r * HistoryRecordLength);
}

} // namespace simulator
