// The alarm rules; see alarm_engine.h.
#include "weather/alarm_engine.h"

#include "weather/signed_number.h"

#include <cmath>

namespace weather {

namespace {

// The station's values are whole numbers; a mean of live readings is shown with one decimal.
int DecimalsOf(double value)
{
    return value == std::round(value) ? 0 : 1;
}

QString Celsius(double value)
{
    return SignedNumber(value, DecimalsOf(value)) + QStringLiteral(" °C");
}

QString Percent(double value)
{
    return PlainNumber(value, DecimalsOf(value)) + QStringLiteral(" %");
}

QString EndSummary(TAlarmKind kind)
{
    switch (kind) {
    case TAlarmKind::Frost:
        return QStringLiteral("Заморозок закончился");
    case TAlarmKind::Heat:
        return QStringLiteral("Жара спала");
    case TAlarmKind::PressureFall:
        return QStringLiteral("Давление перестало быстро падать");
    case TAlarmKind::Humidity:
        return QStringLiteral("Влажность снова в пределах");
    case TAlarmKind::Silence:
        return QStringLiteral("Метеостанция снова на связи");
    case TAlarmKind::ArchiveFailure:
        return QStringLiteral("Архив снова записывается");
    }
    return {};
}

bool IsOn(const TAlarmSettings& settings, TAlarmKind kind)
{
    switch (kind) {
    case TAlarmKind::Frost:
        return settings.FrostOn;
    case TAlarmKind::Heat:
        return settings.HeatOn;
    case TAlarmKind::PressureFall:
        return settings.PressureFallOn;
    case TAlarmKind::Humidity:
        return settings.HumidityOn;
    case TAlarmKind::Silence:
        return settings.SilenceOn;
    case TAlarmKind::ArchiveFailure:
        return settings.ArchiveFailureOn;
    }
    return false;
}

} // namespace

QString AlarmTitle(TAlarmKind kind)
{
    switch (kind) {
    case TAlarmKind::Frost:
        return QStringLiteral("Заморозок");
    case TAlarmKind::Heat:
        return QStringLiteral("Жара");
    case TAlarmKind::PressureFall:
        return QStringLiteral("Быстрое падение давления");
    case TAlarmKind::Humidity:
        return QStringLiteral("Влажность вне пределов");
    case TAlarmKind::Silence:
        return QStringLiteral("Метеостанция молчит");
    case TAlarmKind::ArchiveFailure:
        return QStringLiteral("Сбой записи в архив");
    }
    return {};
}

TAlarmEngine::TAlarmEngine(const TAlarmSettings& settings, TClock::time_point now)
    : FSettings(settings)
    , FLastHeard(now)
{
}

void TAlarmEngine::Change(std::vector<TAlarmChange>& changes, TAlarmKind kind, bool start, const QString& summary,
                          const QString& body)
{
    FRinging[Index(kind)] = start;
    changes.push_back({kind, start, summary, body});
}

template <typename TBody>
void TAlarmEngine::Weigh(std::vector<TAlarmChange>& changes, TAlarmKind kind, bool on, bool start, bool end,
                         const QString& summary, const TBody& body)
{
    if (!on)
        return;
    if (!Ringing(kind) && start)
        Change(changes, kind, true, summary, body());
    else if (Ringing(kind) && end)
        Change(changes, kind, false, EndSummary(kind), body());
}

std::vector<TAlarmChange> TAlarmEngine::SetSettings(const TAlarmSettings& settings)
{
    FSettings = settings;
    std::vector<TAlarmChange> changes;
    for (int k = 0; k < AlarmKindCount; ++k) {
        const auto kind = static_cast<TAlarmKind>(k);
        if (Ringing(kind) && !IsOn(settings, kind))
            Change(changes, kind, false, EndSummary(kind), QStringLiteral("Сигнал выключен в настройках."));
    }
    return changes;
}

std::vector<TAlarmChange> TAlarmEngine::TakeReport(const TAlarmReadings& readings, TClock::time_point now)
{
    std::vector<TAlarmChange> changes;
    FLastHeard = now;
    Weigh(changes, TAlarmKind::Silence, FSettings.SilenceOn, false, true, {},
          [] { return QStringLiteral("Показания снова поступают."); });

    if (const auto outdoor = readings.OutdoorC) {
        const double frost = FSettings.FrostBelowC;
        const bool freezing = *outdoor < frost;
        Weigh(changes, TAlarmKind::Frost, FSettings.FrostOn, freezing, *outdoor >= frost + TemperatureHysteresisC,
              QStringLiteral("Заморозок"), [&] {
                  return freezing
                      ? QStringLiteral("На улице %1, ниже порога %2.").arg(Celsius(*outdoor), Celsius(frost))
                      : QStringLiteral("На улице %1.").arg(Celsius(*outdoor));
              });
        const double heat = FSettings.HeatAboveC;
        const bool hot = *outdoor > heat;
        Weigh(changes, TAlarmKind::Heat, FSettings.HeatOn, hot, *outdoor <= heat - TemperatureHysteresisC,
              QStringLiteral("Жара"), [&] {
                  return hot ? QStringLiteral("На улице %1, выше порога %2.").arg(Celsius(*outdoor), Celsius(heat))
                             : QStringLiteral("На улице %1.").arg(Celsius(*outdoor));
              });
    }

    if (const auto change = readings.PressureChange3hMmHg) {
        const double limit = FSettings.PressureFallMmHg;
        const double fall = -*change;
        const bool falling = fall > limit;
        Weigh(changes, TAlarmKind::PressureFall, FSettings.PressureFallOn, falling,
              fall <= limit - PressureFallHysteresisMmHg, QStringLiteral("Давление быстро падает"), [&] {
                  return falling
                      ? QStringLiteral("За 3 часа давление упало на %1 мм рт.ст. (порог %2 мм рт.ст.). "
                                       "Погода может испортиться.")
                            .arg(PlainNumber(fall, 1), PlainNumber(limit))
                      : QStringLiteral("Изменение давления за 3 часа: %1 мм рт.ст.").arg(SignedNumber(*change, 1));
              });
    }

    if (const auto humidity = readings.HumidityPercent) {
        const double low = FSettings.HumidityLowPercent;
        const double high = FSettings.HumidityHighPercent;
        const bool dry = *humidity < low;
        const bool damp = *humidity > high;
        const bool inside =
            *humidity >= low + HumidityHysteresisPercent && *humidity <= high - HumidityHysteresisPercent;
        const QString summary = dry ? QStringLiteral("Слишком сухо") : QStringLiteral("Слишком влажно");
        Weigh(changes, TAlarmKind::Humidity, FSettings.HumidityOn, dry || damp, inside, summary, [&] {
            return dry
                ? QStringLiteral("Относительная влажность %1, ниже порога %2.").arg(Percent(*humidity), Percent(low))
                : damp
                ? QStringLiteral("Относительная влажность %1, выше порога %2.").arg(Percent(*humidity), Percent(high))
                : QStringLiteral("Относительная влажность %1.").arg(Percent(*humidity));
        });
    }
    return changes;
}

std::vector<TAlarmChange> TAlarmEngine::TakeArchiveResult(bool ok, const QString& message)
{
    std::vector<TAlarmChange> changes;
    Weigh(changes, TAlarmKind::ArchiveFailure, FSettings.ArchiveFailureOn, !ok, ok,
          QStringLiteral("Архив не записывается"), [&] {
              return ok ? QStringLiteral("Показания снова записываются в архив.")
                        : (message.isEmpty() ? QStringLiteral("Не удалось записать показания в архив.") : message);
          });
    return changes;
}

std::vector<TAlarmChange> TAlarmEngine::Tick(TClock::time_point now)
{
    std::vector<TAlarmChange> changes;
    const auto silence = std::chrono::minutes(FSettings.SilenceMinutes);
    Weigh(changes, TAlarmKind::Silence, FSettings.SilenceOn, now - FLastHeard >= silence, false,
          QStringLiteral("Метеостанция молчит"), [this] {
              return QStringLiteral("От метеостанции нет показаний дольше %1 мин. Проверьте, подключена ли она.")
                  .arg(FSettings.SilenceMinutes);
          });
    return changes;
}

} // namespace weather
