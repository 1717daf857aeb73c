// The alarm rules: each threshold with its hysteresis (a value hovering at the threshold rings
// once), values the station lacks, alarms switched off, a silent station, a failing archive, and
// thresholds outside their ranges.
#include "weather/alarm_engine.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

using weather::TAlarmEngine;
using weather::TAlarmKind;
using weather::TAlarmReadings;
using Clock = TAlarmEngine::TClock;
using std::chrono::minutes;

const Clock::time_point Start{};

weather::TAlarmSettings AllOn()
{
    weather::TAlarmSettings settings;
    settings.FrostOn = settings.HeatOn = settings.PressureFallOn = settings.HumidityOn = settings.SilenceOn = true;
    settings.ArchiveFailureOn = true;
    return settings;
}

// One report and what it must start or end: nothing, or one alarm with its texts.
struct TStep
{
    TAlarmReadings Readings;
    std::optional<TAlarmKind> Kind = std::nullopt;
    bool Started = true;
    const char* Summary = "";
    const char* Body = "";
};

void RunSteps(const char* name, const std::vector<TStep>& steps)
{
    TAlarmEngine engine(AllOn(), Start);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const TStep& step = steps[i];
        const auto changes = engine.TakeReport(step.Readings, Start + minutes(i));
        if (!step.Kind) {
            EXPECT_TRUE(changes.empty()) << name << ", step " << i << ": " << changes.front().Summary.toStdString();
            continue;
        }
        ASSERT_EQ(changes.size(), 1u) << name << ", step " << i;
        EXPECT_EQ(changes[0].Kind, *step.Kind) << name << ", step " << i;
        EXPECT_EQ(changes[0].Started, step.Started) << name << ", step " << i;
        EXPECT_EQ(changes[0].Summary, QString::fromUtf8(step.Summary)) << name << ", step " << i;
        EXPECT_EQ(changes[0].Body, QString::fromUtf8(step.Body)) << name << ", step " << i;
        EXPECT_EQ(engine.Ringing(*step.Kind), step.Started) << name << ", step " << i;
    }
}

TAlarmReadings Outdoor(double c)
{
    return {c, std::nullopt, std::nullopt};
}
TAlarmReadings Humidity(double percent)
{
    return {std::nullopt, percent, std::nullopt};
}
TAlarmReadings PressureChange(double mmHg)
{
    return {std::nullopt, std::nullopt, mmHg};
}

TEST(AlarmRules, ThresholdsWithHysteresis)
{
    const auto frost = TAlarmKind::Frost;
    RunSteps("frost below 0 °C",
             {
                 {Outdoor(2)},
                 {Outdoor(0)},
                 {Outdoor(-1), frost, true, "Заморозок", "На улице −1 °C, ниже порога 0 °C."},
                 {Outdoor(0)},
                 {Outdoor(-1)},
                 {Outdoor(0.5)},
                 {TAlarmReadings{}}, // no outdoor value: the alarm stays
                 {Outdoor(1), frost, false, "Заморозок закончился", "На улице +1 °C."},
                 {Outdoor(0)},
                 {Outdoor(-0.4), frost, true, "Заморозок", "На улице −0,4 °C, ниже порога 0 °C."},
             });
    const auto heat = TAlarmKind::Heat;
    RunSteps("heat above +30 °C",
             {
                 {Outdoor(30)},
                 {Outdoor(31), heat, true, "Жара", "На улице +31 °C, выше порога +30 °C."},
                 {Outdoor(30)},
                 {Outdoor(31)},
                 {Outdoor(29), heat, false, "Жара спала", "На улице +29 °C."},
             });
    const auto humidity = TAlarmKind::Humidity;
    RunSteps("humidity within 30..70 %",
             {
                 {Humidity(30)},
                 {Humidity(29), humidity, true, "Слишком сухо", "Относительная влажность 29 %, ниже порога 30 %."},
                 {Humidity(31)},
                 {Humidity(28)},
                 {Humidity(75)}, // from too dry to too damp without passing the good range: still one alarm
                 {Humidity(32), humidity, false, "Влажность снова в пределах", "Относительная влажность 32 %."},
                 {Humidity(70)},
                 {Humidity(71), humidity, true, "Слишком влажно", "Относительная влажность 71 %, выше порога 70 %."},
                 {Humidity(69)},
                 {Humidity(68), humidity, false, "Влажность снова в пределах", "Относительная влажность 68 %."},
             });
    const auto fall = TAlarmKind::PressureFall;
    RunSteps("pressure falling more than 3 mm Hg in 3 h",
             {
                 {PressureChange(-3)},
                 {PressureChange(-3.2), fall, true, "Давление быстро падает",
                  "За 3 часа давление упало на 3,2 мм рт.ст. (порог 3 мм рт.ст.). Погода может испортиться."},
                 {PressureChange(-2.5)},
                 {TAlarmReadings{}}, // too short a history: the alarm stays
                 {PressureChange(-4)},
                 {PressureChange(-2), fall, false, "Давление перестало быстро падать",
                  "Изменение давления за 3 часа: −2,0 мм рт.ст."},
                 {PressureChange(+5)},
             });
}

TEST(AlarmRules, AlarmsSwitchedOffStayQuietAndEndWhenSwitchedOff)
{
    TAlarmEngine engine({}, Start);
    EXPECT_TRUE(engine.TakeReport({-30.0, 5.0, -20.0}, Start).empty());
    EXPECT_TRUE(engine.TakeArchiveResult(false, QStringLiteral("диск полон")).empty());
    EXPECT_TRUE(engine.Tick(Start + minutes(24 * 60)).empty());

    EXPECT_TRUE(engine.SetSettings(AllOn()).empty());
    const auto started = engine.TakeReport({-30.0, 5.0, -20.0}, Start);
    ASSERT_EQ(started.size(), 3u);
    EXPECT_TRUE(engine.Ringing(TAlarmKind::Frost) && engine.Ringing(TAlarmKind::Humidity) &&
                engine.Ringing(TAlarmKind::PressureFall));

    // A new threshold alone ends nothing until a report is weighed against it.
    auto settings = AllOn();
    settings.FrostBelowC = -40;
    EXPECT_TRUE(engine.SetSettings(settings).empty());
    const auto frostEnds = engine.TakeReport(Outdoor(-30), Start);
    ASSERT_EQ(frostEnds.size(), 1u);
    EXPECT_FALSE(frostEnds[0].Started);

    settings.HumidityOn = false;
    const auto switchedOff = engine.SetSettings(settings);
    ASSERT_EQ(switchedOff.size(), 1u);
    EXPECT_EQ(switchedOff[0].Kind, TAlarmKind::Humidity);
    EXPECT_FALSE(switchedOff[0].Started);
    EXPECT_EQ(switchedOff[0].Body, QStringLiteral("Сигнал выключен в настройках."));
    EXPECT_TRUE(engine.TakeReport(Humidity(5), Start).empty());
}

TEST(AlarmRules, SilentStationAndFailingArchive)
{
    auto settings = AllOn();
    settings.SilenceMinutes = 30;
    TAlarmEngine engine(settings, Start);
    // Silent from the start: rings once at 30 minutes, ends with the next report.
    EXPECT_TRUE(engine.Tick(Start + minutes(29)).empty());
    const auto silent = engine.Tick(Start + minutes(30));
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_EQ(silent[0].Summary, QStringLiteral("Метеостанция молчит"));
    EXPECT_EQ(silent[0].Body,
              QStringLiteral("От метеостанции нет показаний дольше 30 мин. Проверьте, подключена ли она."));
    EXPECT_TRUE(engine.Tick(Start + minutes(90)).empty());
    const auto back = engine.TakeReport({}, Start + minutes(91));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_FALSE(back[0].Started);
    EXPECT_EQ(back[0].Summary, QStringLiteral("Метеостанция снова на связи"));
    // The count starts again from the last report.
    EXPECT_TRUE(engine.TakeReport({}, Start + minutes(100)).empty());
    EXPECT_TRUE(engine.Tick(Start + minutes(129)).empty());
    EXPECT_EQ(engine.Tick(Start + minutes(130)).size(), 1u);

    const QString why =
        QStringLiteral("Не удалось записать архив «meteo-archive.sqlite»: на диске нет свободного места.");
    const auto failing = engine.TakeArchiveResult(false, why);
    ASSERT_EQ(failing.size(), 1u);
    EXPECT_EQ(failing[0].Summary, QStringLiteral("Архив не записывается"));
    EXPECT_EQ(failing[0].Body, why);
    EXPECT_TRUE(engine.TakeArchiveResult(false, why).empty());
    const auto mended = engine.TakeArchiveResult(true, {});
    ASSERT_EQ(mended.size(), 1u);
    EXPECT_FALSE(mended[0].Started);
    EXPECT_EQ(mended[0].Body, QStringLiteral("Показания снова записываются в архив."));
}

TEST(AlarmRules, ThresholdsOutsideTheirRangesAreRefused)
{
    struct Case
    {
        void (*Change)(weather::TAlarmSettings&);
        const char* Problem;
    };
    const Case cases[] = {
        {[](auto& s) { s.FrostBelowC = -51; }, "Порог заморозка должен быть от −50 до +60 °C, а не −51."},
        {[](auto& s) { s.HeatAboveC = 61; }, "Порог жары должен быть от −50 до +60 °C, а не +61."},
        {[](auto& s) { s.PressureFallMmHg = 0; }, "Порог падения давления должен быть от 1 до 30 мм рт.ст., а не 0."},
        {[](auto& s) { s.HumidityHighPercent = 101; }, "Верхний порог влажности должен быть от 0 до 100 %, а не 101."},
        {[](auto& s) { s.HumidityLowPercent = 66; },
         "Верхний порог влажности должен быть выше нижнего хотя бы на 5 %."},
        {[](auto& s) { s.SilenceMinutes = 1441; },
         "Срок молчания метеостанции должен быть от 1 до 1440 мин, а не 1441."},
    };
    EXPECT_TRUE(weather::AlarmSettingsProblems({}).isEmpty());
    for (const Case& c : cases) {
        weather::TAlarmSettings settings;
        c.Change(settings);
        EXPECT_EQ(weather::AlarmSettingsProblems(settings), QStringList{QString::fromUtf8(c.Problem)});
    }
    weather::TAlarmSettings edges;
    edges.FrostBelowC = weather::MinAlarmTemperatureC;
    edges.HeatAboveC = weather::MaxAlarmTemperatureC;
    edges.HumidityLowPercent = 0;
    edges.HumidityHighPercent = 5;
    edges.SilenceMinutes = weather::MaxSilenceMinutes;
    EXPECT_TRUE(weather::AlarmSettingsProblems(edges).isEmpty());
}

} // namespace
