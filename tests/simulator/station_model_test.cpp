#include "simulator/station_model.h"

#include <gtest/gtest.h>
#include <vector>

using namespace simulator;
using namespace std::chrono_literals;

namespace {

// An output report as the program builds it: the unset bytes carry 255.
std::array<std::uint8_t, 65> Command(std::uint8_t code)
{
    std::array<std::uint8_t, 65> report;
    report.fill(255);
    report[0] = 0;
    report[19] = code;
    return report;
}

std::array<std::uint8_t, 65> Setting(std::uint8_t item)
{
    auto report = Command(2);
    report[18] = item;
    return report;
}

struct Station
{
    TStationModel Model{7, TStationDateTime{2016, 12, 5, 14, 20, 30}};
    std::vector<TInputReport> Received;

    Station()
    {
        Model.SetInputReportHandler([this](const TInputReport& data) { Received.push_back(data); });
    }
    void Send(const std::array<std::uint8_t, 65>& report) { Model.HandleOutputReport(report.data(), report.size()); }
    TInputReport NextReading()
    {
        Received.clear();
        Model.Advance(Model.StreamInterval());
        EXPECT_EQ(Received.size(), 1u);
        return Received.empty() ? TInputReport{} : Received.back();
    }
};

TEST(StationModelStream, StartsAtOnceRepeatsEverySecondAndStopsOnCodeFive)
{
    Station s;
    s.Send(Command(1));
    ASSERT_EQ(s.Received.size(), 1u);
    s.Model.Advance(999ms);
    EXPECT_EQ(s.Received.size(), 1u);
    s.Model.Advance(1ms);
    ASSERT_EQ(s.Received.size(), 2u);
    EXPECT_EQ(s.Received[0][2], 30); // seconds
    EXPECT_EQ(s.Received[1][2], 31);
    s.Model.Advance(3s);
    EXPECT_EQ(s.Received.size(), 5u);

    s.Send(Command(5));
    s.Model.Advance(10s);
    EXPECT_EQ(s.Received.size(), 5u);
    EXPECT_EQ(s.Model.Mode(), TTransferMode::Idle);

    s.Model.SetStreamInterval(250ms);
    s.Send(Command(1));
    s.Model.Advance(1s);
    EXPECT_EQ(s.Received.size(), 10u);
}

TEST(StationModelStream, ReadingsReportFollowsTheInputLayout)
{
    Station s;
    s.Send(Command(1));
    const TInputReport r = s.Received.at(0);
    // clock, neutral corrections, both sensors present, pressure and humidity on, timer off, saving on
    const std::pair<std::size_t, int> fixed[] = {{0, 14},  {1, 20}, {2, 30}, {3, 20}, {4, 5},   {5, 12},
                                                 {6, 16},  {7, 16}, {8, 16}, {28, 1}, {30, 10}, {31, 1},
                                                 {33, 25}, {34, 0}, {35, 0}, {36, 0}, {37, 1}};
    for (const auto& [index, value] : fixed)
        EXPECT_EQ(r[index], value) << "byte " << index;
    const TSensorCode indoor = s.Model.SensorRomCode(IndoorSensor);
    const TSensorCode outdoor = s.Model.SensorRomCode(OutdoorSensor);
    EXPECT_TRUE(std::equal(indoor.begin(), indoor.end(), r.begin() + 12));
    EXPECT_TRUE(std::equal(outdoor.begin(), outdoor.end(), r.begin() + 20));
    EXPECT_EQ(indoor[0], 0x28);
    EXPECT_NE(indoor, outdoor);
}

TEST(StationModelStream, ReadingsDriftPlausiblyOverAYear)
{
    TStationModel model(3);
    int below = 0;
    double january = 0, july = 0;
    for (int hour = 0; hour < 365 * 24; hour += 3) {
        model.SetClock(
            TStationDateTime::FromTime(TStationDateTime{2017, 1, 1, 0, 0, 0}.ToTime() + std::chrono::hours{hour}));
        const TInputReport r = model.ReadingsReport();
        ASSERT_TRUE(r[9] >= 20 && r[9] <= 25) << int(r[9]);
        ASSERT_FALSE(r[11] == 0 && r[10] == 0) << "zero is not below zero";
        const int outdoor = r[11] == 0 ? -r[10] : r[10];
        below += outdoor < 0;
        january += r[5] == 1 ? outdoor : 0;
        july += r[5] == 7 ? outdoor : 0;
        ASSERT_TRUE(885 - r[29] >= 730 && 885 - r[29] <= 780) << 885 - r[29];
        ASSERT_TRUE(r[32] >= 15 && r[32] <= 100) << int(r[32]);
    }
    EXPECT_GT(below, 100);
    EXPECT_LT(january / 248, -3);
    EXPECT_GT(july / 248, 14);
}

TEST(StationModelStream, MalformedReportsAndUnknownCodesAreIgnored)
{
    Station s;
    auto start = Command(1);
    s.Model.HandleOutputReport(start.data(), 19);
    start[0] = 1;
    s.Send(start);
    s.Send(Command(9));
    s.Model.HandleOutputReport(nullptr, 65);
    s.Model.Advance(5s);
    EXPECT_TRUE(s.Received.empty());
    EXPECT_EQ(s.Model.Mode(), TTransferMode::Idle);
}

TEST(StationModelSettings, TimeAndDateWithClockCorrection)
{
    Station s;
    s.Send(Command(1));
    auto set = Setting(1);
    set[1] = 5, set[2] = 4, set[3] = 23, set[4] = 2, set[5] = 31, set[6] = 12, set[7] = 17, set[8] = 40;
    s.Send(set);
    TInputReport r = s.NextReading();
    EXPECT_EQ(r[0], 23);
    EXPECT_EQ(r[1], 4);
    EXPECT_EQ(r[2], 6); // one second has passed
    EXPECT_EQ(r[3], 40);
    EXPECT_EQ(r[4], 31);
    EXPECT_EQ(r[5], 12);
    EXPECT_EQ(r[6], 17);

    // Correction 40 gains 20 s a day.
    s.Send(Command(5));
    s.Model.Advance(std::chrono::hours{24});
    EXPECT_EQ(s.Model.Clock(), (TStationDateTime{2018, 1, 1, 23, 4, 26}));

    // An impossible date leaves the clock alone; the correction still applies when in range.
    const auto before = s.Model.Clock();
    set[5] = 30, set[6] = 2, set[8] = 20;
    s.Send(set);
    EXPECT_EQ(s.Model.Clock(), before);
    EXPECT_EQ(s.Model.ClockCorrection(), 20);
    set[8] = 41;
    s.Send(set);
    EXPECT_EQ(s.Model.ClockCorrection(), 20);
}

TEST(StationModelSettings, SensorCodesAreClearedAndReadBack)
{
    Station s;
    s.Send(Command(1));
    auto clear = Setting(3);
    clear[9] = 1;
    s.Send(clear);
    TInputReport r = s.NextReading();
    EXPECT_EQ(r[8], 0); // outdoor absent
    EXPECT_EQ(r[10], 255);
    EXPECT_TRUE(std::all_of(r.begin() + 20, r.begin() + 28, [](std::uint8_t b) { return b == 255; }));
    EXPECT_EQ(r[7], 16); // indoor untouched

    auto read = Setting(2);
    read[9] = 1;
    s.Send(read);
    r = s.NextReading();
    EXPECT_EQ(r[8], 16);
    const TSensorCode code = s.Model.SensorRomCode(OutdoorSensor);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), r.begin() + 20));

    clear[9] = 0;
    s.Send(clear);
    r = s.NextReading();
    EXPECT_EQ(r[7], 0);
    EXPECT_EQ(r[9], 255);
    clear[9] = 255; // no such sensor
    read[9] = 7;
    s.Send(read);
    EXPECT_EQ(s.NextReading()[7], 0);
}

TEST(StationModelSettings, PressureHumidityTimerAndSaving)
{
    Station s;
    s.Send(Command(1));
    const TInputReport before = s.Received.at(0);

    auto pressure = Setting(4);
    pressure[10] = 1, pressure[11] = 30;
    s.Send(pressure);
    auto humidity = Setting(5);
    humidity[12] = 1, humidity[13] = 35;
    s.Send(humidity);
    // Same moment as `before`, settings applied.
    TInputReport r = s.Model.ReadingsReport();
    EXPECT_EQ(r[30], 30);
    EXPECT_EQ(r[29], before[29] - 20); // 20 mm more
    EXPECT_EQ(r[33], 35);
    EXPECT_EQ(r[32], std::min(100, before[32] + 10));

    pressure[10] = 0;
    s.Send(pressure);
    humidity[12] = 0, humidity[13] = 51; // correction out of range: kept
    s.Send(humidity);
    r = s.NextReading();
    EXPECT_EQ(r[28], 0);
    EXPECT_EQ(r[29], 255);
    EXPECT_EQ(r[31], 0);
    EXPECT_EQ(r[32], 255);
    EXPECT_EQ(r[33], 35);

    auto timer = Setting(6);
    timer[14] = 0x12, timer[15] = 0x34, timer[16] = 1;
    s.Send(timer);
    auto saving = Setting(7);
    saving[17] = 0;
    s.Send(saving);
    r = s.NextReading();
    EXPECT_EQ(r[34], 0x12);
    EXPECT_EQ(r[35], 0x34);
    EXPECT_EQ(r[36], 1);
    EXPECT_EQ(r[37], 0);
    EXPECT_EQ(s.Model.TimerValue(), 0x1234);
    EXPECT_EQ(s.Model.Mode(), TTransferMode::Streaming); // settings do not stop the stream
}

TEST(StationModelHistory, DownloadSendsTheMemoryAs512BlocksInOrder)
{
    Station s;
    s.Model.FillPlausibleHistory(30, {2016, 12, 5, 14, 0, 0}, 11);
    const THistoryMemory memory = s.Model.HistoryMemory();
    s.Send(Command(1));
    s.Received.clear();
    s.Send(Command(3));
    EXPECT_EQ(s.Received.size(), 1u); // the first block at once
    s.Model.Advance(s.Model.BlockInterval() * 300);
    EXPECT_EQ(s.Received.size(), 301u);
    s.Model.Advance(10s);
    ASSERT_EQ(s.Received.size(), 512u);
    THistoryMemory joined;
    for (std::size_t k = 0; k < 512; ++k)
        std::copy(s.Received[k].begin(), s.Received[k].end(), joined.begin() + 64 * k);
    EXPECT_EQ(joined, memory);
    EXPECT_EQ(s.Model.Mode(), TTransferMode::Idle); // no stream after the download
}

TEST(StationModelHistory, CodeFiveStopsADownloadAndBlockIntervalZeroSendsAllAtOnce)
{
    Station s;
    s.Send(Command(3));
    s.Model.Advance(s.Model.BlockInterval() * 9);
    EXPECT_EQ(s.Received.size(), 10u);
    s.Send(Command(5));
    s.Model.Advance(10s);
    EXPECT_EQ(s.Received.size(), 10u);

    s.Received.clear();
    s.Model.SetBlockInterval(0ms);
    s.Send(Command(3));
    EXPECT_EQ(s.Received.size(), 512u);
}

TEST(StationModelHistory, ClearEmptiesTheMemoryAndSends512Reports)
{
    Station s;
    s.Model.FillPlausibleHistory(5, {2016, 12, 5, 14, 0, 0}, 2);
    ASSERT_GT(s.Model.NextRecord(), 100u);
    s.Send(Command(4));
    EXPECT_EQ(s.Model.NextRecord(), 0u);
    EXPECT_TRUE(std::all_of(s.Model.HistoryMemory().begin(), s.Model.HistoryMemory().end(),
                            [](std::uint8_t b) { return b == 255; }));
    s.Model.Advance(10s);
    EXPECT_EQ(s.Received.size(), 512u);
}

TEST(StationModelHistory, LogsEveryFullHourAfterTheLastRecordWhileSavingIsOn)
{
    TStationModel model(5, TStationDateTime{2016, 12, 31, 22, 59, 30});
    model.Advance(30s);
    std::array<std::uint8_t, 8> record;
    std::copy_n(model.HistoryMemory().begin(), 8, record.begin());
    EXPECT_EQ(record[4], 23);
    EXPECT_EQ(record[5], 31);
    EXPECT_EQ(record[6], 12);
    EXPECT_EQ(record[7], 16);
    EXPECT_EQ(model.NextRecord(), 1u);
    model.Advance(std::chrono::hours{1});
    std::copy_n(model.HistoryMemory().begin() + 8, 8, record.begin());
    EXPECT_EQ(record[4], 0);
    EXPECT_EQ(record[5], 1);
    EXPECT_EQ(record[6], 1);
    EXPECT_EQ(record[7], 17);
    EXPECT_EQ(model.NextRecord(), 2u);

    // Saving off: nothing is logged.
    auto saving = Setting(7);
    saving[17] = 0;
    model.HandleOutputReport(saving.data(), saving.size());
    model.Advance(std::chrono::hours{5});
    EXPECT_EQ(model.NextRecord(), 2u);

    // After a hole, logging continues behind the last non-empty record.
    saving[17] = 1;
    model.HandleOutputReport(saving.data(), saving.size());
    THistoryMemory memory;
    memory.fill(255);
    memory[8 * 100 + 4] = 3;
    model.SetHistoryMemory(memory);
    model.Advance(std::chrono::hours{1});
    EXPECT_EQ(model.NextRecord(), 102u);
    EXPECT_EQ(model.HistoryMemory()[8 * 101 + 4], 6);

    // A full memory stops the log.
    memory.fill(255);
    memory[8 * 4095] = 1;
    model.SetHistoryMemory(memory);
    model.Advance(std::chrono::hours{3});
    EXPECT_EQ(model.HistoryMemory(), memory);
}

TEST(StationModelHistory, PlausibleFillHasValidDatesGapsAndMissingValues)
{
    TStationModel model(1);
    model.FillPlausibleHistory(60, {2017, 2, 10, 17, 45, 0}, 42);
    const THistoryMemory& m = model.HistoryMemory();
    const std::size_t count = model.NextRecord();
    EXPECT_LT(count, 60u * 24);
    EXPECT_GT(count, 60u * 24 - 100);

    int missing = 0, gaps = 0, negative = 0;
    TStationTime previous{};
    for (std::size_t r = 0; r < count; ++r) {
        const std::uint8_t* rec = m.data() + 8 * r;
        const TStationDateTime at{2000 + rec[7], rec[6], rec[5], rec[4], 0, 0};
        ASSERT_TRUE(at.IsValid()) << "record " << r;
        ASSERT_GT(at.ToTime(), previous) << "record " << r;
        if (r > 0 && at.ToTime() - previous > std::chrono::hours{1})
            ++gaps;
        previous = at.ToTime();
        for (int f = 0; f < 4; ++f)
            missing += rec[f] == 255;
        if (rec[0] != 255) {
            ASSERT_GE(rec[0], 20);
            ASSERT_LE(rec[0], 25);
        }
        if (rec[1] != 255 && rec[1] > 128)
            ++negative;
        ASSERT_NE(rec[1], 128) << "zero is stored as 0";
        if (rec[3] != 255) {
            ASSERT_LE(rec[3], 100);
        }
    }
    EXPECT_EQ(TStationDateTime::FromTime(previous), (TStationDateTime{2017, 2, 10, 17, 0, 0}));
    EXPECT_GT(missing, 10);
    EXPECT_GE(gaps, 2);
    EXPECT_GT(negative, 100); // a northern winter
    for (std::size_t i = 8 * count; i < m.size(); ++i)
        ASSERT_EQ(m[i], 255);

    TStationModel again(99);
    again.FillPlausibleHistory(60, {2017, 2, 10, 17, 45, 0}, 42);
    EXPECT_EQ(again.HistoryMemory(), m);
    again.FillPlausibleHistory(60, {2017, 2, 10, 17, 45, 0}, 43);
    EXPECT_NE(again.HistoryMemory(), m);
}

TEST(StationModelHistory, PlausibleFillKeepsTheNewest4096Hours)
{
    TStationModel model(1);
    model.FillPlausibleHistory(200, {2017, 6, 1, 0, 0, 0}, 8);
    EXPECT_EQ(model.NextRecord(), 4096u);
    const std::uint8_t* last = model.HistoryMemory().data() + 8 * 4095;
    EXPECT_EQ(last[4], 0);
    EXPECT_EQ(last[5], 1);
    EXPECT_EQ(last[6], 6);
    EXPECT_EQ(last[7], 17);
    model.FillPlausibleHistory(0, {2017, 6, 1, 0, 0, 0}, 8);
    EXPECT_EQ(model.NextRecord(), 0u);
    EXPECT_THROW(model.FillPlausibleHistory(1, {2017, 2, 29, 0, 0, 0}, 8), std::invalid_argument);
}

} // namespace
