#include "simulator/station_model.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace simulator {
namespace {

using namespace std::chrono;

// Output reports shorter than this carry no command.
constexpr std::size_t OutMinimumLength = OutField::CommandCode + 1;
constexpr std::int64_t MsPerDay = 86'400'000;

enum : std::uint64_t {
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
    int PressureCorrection = PressureCorrectionZero;
    bool HumidityOn = true;
    int HumidityCorrection = HumidityCorrectionZero;
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
    v.Pressure = static_cast<int>(std::lround(w.Pressure)) + m.PressureCorrection - PressureCorrectionZero;
    v.Humidity =
        std::clamp(static_cast<int>(std::lround(w.Humidity)) + m.HumidityCorrection - HumidityCorrectionZero, 0, 100);
    return v;
}

THistoryRecordBytes MakeRecord(std::uint32_t seed, TStationTime time, const TMeasurement& m)
{
    const TValues v = Measure(WeatherAt(seed, time), m);
    const TStationDateTime at = TStationDateTime::FromTime(time);
    auto value = [](bool present, int measured) { return present ? std::optional<int>(measured) : std::nullopt; };
    using base::TQuantity;
    const HistoryRecord record{
        .IndoorTemp = EncodeRecordValue(TQuantity::IndoorTemperature, value(m.IndoorPresent, v.Indoor)),
        .OutdoorTemp = EncodeRecordValue(TQuantity::OutdoorTemperature, value(m.OutdoorPresent, v.Outdoor)),
        .PressureCode = EncodeRecordValue(TQuantity::Pressure, value(m.PressureOn, v.Pressure)),
        .HumidityPercent = EncodeRecordValue(TQuantity::Humidity, value(m.HumidityOn, v.Humidity)),
        .Hour = static_cast<std::uint8_t>(at.Hour),
        .Day = static_cast<std::uint8_t>(at.Day),
        .Month = static_cast<std::uint8_t>(at.Month),
        .Year = static_cast<std::uint8_t>(at.Year % 100),
    };
    return std::bit_cast<THistoryRecordBytes>(record);
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
    return std::any_of(code.begin(), code.end(), [](std::uint8_t b) { return b != NoValue; });
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
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<int>(clock.seconds().count())};
}

TStationModel::TStationModel(std::uint32_t seed, TStationDateTime clock)
    : Seed(seed)
{
    SetClock(clock);
    Memory.fill(NoValue);
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
    for (std::size_t i = 1; i <= 6; ++i)
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
    const TMeasurement m{SensorPresent(IndoorSensor),
                         SensorPresent(OutdoorSensor),
                         PressureOnValue,
                         PressureCorrectionValue,
                         HumidityOnValue,
                         HumidityCorrectionValue};
    const TValues v = Measure(WeatherAt(Seed, ClockTime), m);

    TInputReport r{};
    r[InField::ClockHours] = static_cast<std::uint8_t>(at.Hour);
    r[InField::ClockMinutes] = static_cast<std::uint8_t>(at.Minute);
    r[InField::ClockSeconds] = static_cast<std::uint8_t>(at.Second);
    r[InField::ClockCorrection] = ClockCorrectionValue;
    r[InField::ClockDay] = static_cast<std::uint8_t>(at.Day);
    r[InField::ClockMonth] = static_cast<std::uint8_t>(at.Month);
    r[InField::ClockYear] = static_cast<std::uint8_t>(at.Year % 100);
    r[InField::IndoorStatus] = m.IndoorPresent ? TemperaturePresent : 0;
    r[InField::OutdoorStatus] = m.OutdoorPresent ? TemperaturePresent : 0;
    r[InField::IndoorTemperature] = m.IndoorPresent ? static_cast<std::uint8_t>(v.Indoor) : NoValue;
    r[InField::OutdoorTemperature] = m.OutdoorPresent ? static_cast<std::uint8_t>(std::abs(v.Outdoor)) : NoValue;
    r[InField::OutdoorSign] = m.OutdoorPresent ? (v.Outdoor < 0 ? OutdoorBelowZero : MarkerOn) : NoValue;
    std::copy(Codes[IndoorSensor].begin(), Codes[IndoorSensor].end(), r.begin() + InField::IndoorSensorCode);
    std::copy(Codes[OutdoorSensor].begin(), Codes[OutdoorSensor].end(), r.begin() + InField::OutdoorSensorCode);
    r[InField::PressureOn] = PressureOnValue ? MarkerOn : MarkerOff;
    r[InField::PressureRaw] = PressureOnValue ? EncodePressure(v.Pressure) : NoValue;
    r[InField::PressureCorrection] = PressureCorrectionValue;
    r[InField::HumidityOn] = HumidityOnValue ? MarkerOn : MarkerOff;
    r[InField::Humidity] = HumidityOnValue ? static_cast<std::uint8_t>(v.Humidity) : NoValue;
    r[InField::HumidityCorrection] = HumidityCorrectionValue;
    r[InField::TimerHigh] = static_cast<std::uint8_t>(Timer >> 8);
    r[InField::TimerLow] = static_cast<std::uint8_t>(Timer & 0xFF);
    r[InField::TimerOn] = TimerOnValue ? MarkerOn : MarkerOff;
    r[InField::SavingOn] = SavingOnValue ? MarkerOn : MarkerOff;
    return r;
}

THistoryRecordBytes TStationModel::RecordAt(TStationTime time) const
{
    const TMeasurement m{SensorPresent(IndoorSensor),
                         SensorPresent(OutdoorSensor),
                         PressureOnValue,
                         PressureCorrectionValue,
                         HumidityOnValue,
                         HumidityCorrectionValue};
    return MakeRecord(Seed, time, m);
}

std::size_t TStationModel::NextRecord() const
{
    for (std::size_t r = HistoryRecordCount; r > 0; --r) {
        const auto* record = Memory.data() + (r - 1) * HistoryRecordSize;
        if (std::any_of(record, record + HistoryRecordSize, [](std::uint8_t b) { return b != NoValue; }))
            return r;
    }
    return 0;
}

void TStationModel::HandleOutputReport(const std::uint8_t* report, std::size_t length)
{
    if (report == nullptr || length < OutMinimumLength || report[OutField::ReportId] != OutReportId)
        return;
    switch (static_cast<TCommandCode>(report[OutField::CommandCode])) {
    case TCommandCode::StreamReadings:
        Transfer = TTransferMode::Streaming;
        break;
    case TCommandCode::ApplySetting:
        ApplySetting(report);
        return;
    case TCommandCode::DownloadHistory:
        Snapshot = Memory;
        Transfer = TTransferMode::Downloading;
        break;
    case TCommandCode::ClearHistory:
        Memory.fill(NoValue);
        Transfer = TTransferMode::Clearing;
        break;
    case TCommandCode::Quiet:
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
        if (byte == MarkerOn || byte == MarkerOff)
            target = byte == MarkerOn;
    };
    auto correction = [](std::uint8_t byte, std::uint8_t limit, std::uint8_t& target) {
        if (byte <= limit)
            target = byte;
    };
    const std::uint8_t sensor = report[OutField::SensorSelect];
    switch (static_cast<TSettingItem>(report[OutField::SettingItem])) {
    case TSettingItem::TimeAndDate: {
        const TStationDateTime set{2000 + report[OutField::SetYear], report[OutField::SetMonth],
                                   report[OutField::SetDay],         report[OutField::SetHours],
                                   report[OutField::SetMinutes],     report[OutField::SetSeconds]};
        if (report[OutField::SetYear] <= 99 && set.IsValid())
            SetClock(set);
        correction(report[OutField::ClockCorrection], ClockCorrectionMax, ClockCorrectionValue);
        break;
    }
    case TSettingItem::ReadSensorCode:
        if (sensor <= OutdoorSensor)
            Codes[sensor] = SensorRomCode(static_cast<TSensor>(sensor));
        break;
    case TSettingItem::ClearSensorCode:
        // An erased code reads as all 255, and the sensor is then absent.
        if (sensor <= OutdoorSensor)
            Codes[sensor].fill(NoValue);
        break;
    case TSettingItem::Pressure:
        onOff(report[OutField::PressureOn], PressureOnValue);
        correction(report[OutField::PressureCorrection], PressureCorrectionMax, PressureCorrectionValue);
        break;
    case TSettingItem::Humidity:
        onOff(report[OutField::HumidityOn], HumidityOnValue);
        correction(report[OutField::HumidityCorrection], HumidityCorrectionMax, HumidityCorrectionValue);
        break;
    case TSettingItem::Timer:
        onOff(report[OutField::TimerOn], TimerOnValue);
        Timer = static_cast<std::uint16_t>(report[OutField::TimerHigh] << 8 | report[OutField::TimerLow]);
        break;
    case TSettingItem::Saving:
        onOff(report[OutField::SavingOn], SavingOnValue);
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
        std::copy_n(Snapshot.begin() + static_cast<std::ptrdiff_t>(BlockIndex) * ReportImageSize, ReportImageSize,
                    block.begin());
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

std::optional<milliseconds> TStationModel::UntilNextReport() const
{
    if (Transfer == TTransferMode::Idle)
        return std::nullopt;
    return std::max(Due - Now, milliseconds{0});
}

void TStationModel::RunClock(milliseconds elapsed)
{
    if (elapsed <= milliseconds{0})
        return;
    // The correction makes the clock gain (or lose) that many seconds a day beyond neutral.
    DriftRemainder += elapsed.count() * (ClockCorrectionValue - ClockCorrectionZero) * 1000;
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
    std::copy(record.begin(), record.end(), Memory.begin() + r * HistoryRecordSize);
}

void TStationModel::FillPlausibleHistory(int dayCount, TStationDateTime end, std::uint32_t seed)
{
    if (!end.IsValid())
        throw std::invalid_argument("history end: not a valid date and time of 2000..2099");
    Memory.fill(NoValue);
    if (dayCount <= 0)
        return;

    const auto last = floor<hours>(end.ToTime());
    const auto first = last - hours{static_cast<std::int64_t>(dayCount) * 24 - 1};
    std::vector<THistoryRecordBytes> records;
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
                record[field] = NoValue;
        records.push_back(record);
    }
    const std::size_t keep = std::min<std::size_t>(records.size(), HistoryRecordCount);
    const std::size_t skip = records.size() - keep;
    for (std::size_t r = 0; r < keep; ++r)
        std::copy(records[skip + r].begin(), records[skip + r].end(), Memory.begin() + r * HistoryRecordSize);
}

} // namespace simulator
