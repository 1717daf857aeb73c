// One service's settings, their checks and what follows from them; see service_settings.h.
#include "publish/networks/service_settings.h"

#include "publish/networks/url_template.h"

#include <QRegularExpression>
#include <algorithm>

namespace publish {

namespace {

bool NeedsKey(TServiceKind kind)
{
    return kind == TServiceKind::WeatherUnderground || kind == TServiceKind::Windy || kind == TServiceKind::Wow ||
        kind == TServiceKind::PwsWeather;
}

bool HasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool Matches(const QString& text, const char* pattern)
{
    return QRegularExpression(QStringLiteral("\\A(?:%1)\\z").arg(QLatin1String(pattern))).match(text).hasMatch();
}

QString IdProblem(const TServiceSettings& settings)
{
    const QString& id = settings.StationId;
    switch (settings.Kind) {
    case TServiceKind::NarodmonTcp:
    case TServiceKind::NarodmonHttp:
        // '#' and line ends would cut the packet.
        if (!Matches(id, "[0-9A-Za-z:_.-]{1,64}"))
            return QStringLiteral("Идентификатор устройства для народного мониторинга: латинские буквы, цифры и "
                                  "знаки «-», «:», «_», «.», обычно MAC-адрес (12 шестнадцатеричных цифр).");
        return {};
    case TServiceKind::Cwop:
        // '>', ':' and line ends would change the packet's route or cut it.
        if (!Matches(id, "[0-9A-Za-z]{3,6}(-[0-9A-Za-z]{1,2})?"))
            return QStringLiteral("Позывной CWOP: 3-6 латинских букв и цифр, например CW1234, и, может быть, "
                                  "«-» с одним-двумя знаками.");
        return {};
    case TServiceKind::OwnAddress:
        return {};
    default:
        if (id.trimmed().isEmpty())
            return QStringLiteral("Укажите идентификатор станции.");
        if (HasControlCharacter(id))
            return QStringLiteral("В идентификаторе станции недопустимые управляющие символы.");
        return {};
    }
}

QString PlaceProblem(const TServiceSettings& settings, const TPublishSettings& common)
{
    if (settings.Kind != TServiceKind::Cwop)
        return {};
    const auto& place = common.Place;
    if (!place.Latitude || !place.Longitude)
        return QStringLiteral("Для CWOP укажите широту и долготу станции.");
    if (!(std::abs(*place.Latitude) <= 90.0) || !(std::abs(*place.Longitude) <= 180.0)) // NaN too
        return QStringLiteral("Широта должна быть от -90 до 90, долгота от -180 до 180.");
    return {};
}

bool Usable(const QUrl& url, TTransport transport)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (transport == TTransport::HttpGet)
        return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    return url.scheme() == QLatin1String("tcp") && url.port() > 0;
}

} // namespace

int EffectiveIntervalMinutes(const TServiceSettings& settings)
{
    const TServiceFacts& facts = Facts(settings.Kind);
    const int wanted = settings.IntervalMinutes > 0 ? settings.IntervalMinutes : facts.DefaultIntervalMinutes;
    return std::max(wanted, facts.MinimumIntervalMinutes);
}

TServiceFacts FactsFor(const TServiceSettings& settings)
{
    TServiceFacts facts = Facts(settings.Kind);
    if (settings.Kind == TServiceKind::OwnAddress && !TemplateCarriesTime(settings.UrlTemplate)) {
        facts.OnlyNewest = true;
        facts.AcceptsPast = PresentAge;
    }
    return facts;
}

QString SettingsProblem(const TServiceSettings& settings, const TPublishSettings& common)
{
    if (QString problem = IdProblem(settings); !problem.isEmpty())
        return problem;
    if (NeedsKey(settings.Kind) && settings.Key.isEmpty())
        return QStringLiteral("Укажите ключ (пароль) станции.");
    if (settings.Kind == TServiceKind::Cwop && !settings.Key.isEmpty() && !Matches(settings.Key, "-?[0-9]{1,5}"))
        return QStringLiteral("Код доступа APRS-IS — число; для номера CW оставьте поле ключа пустым.");
    // A line end in the key would add a header of its own to Windy's request.
    if (HasControlCharacter(settings.Key))
        return QStringLiteral("В ключе недопустимые управляющие символы.");
    if (QString problem = PlaceProblem(settings, common); !problem.isEmpty())
        return problem;
    if (settings.Kind == TServiceKind::OwnAddress)
        return TemplateProblem(settings.UrlTemplate);
    return ResolveEndpoint(settings).Problem;
}

TEndpoint ResolveEndpoint(const TServiceSettings& settings)
{
    const TServiceFacts& facts = Facts(settings.Kind);
    if (settings.Kind == TServiceKind::OwnAddress)
        return {};
    const QString fromEnvironment = qEnvironmentVariable(facts.EnvironmentVariable).trimmed();
    QString text = QString::fromLatin1(facts.DefaultEndpoint);
    QString origin;
    if (!fromEnvironment.isEmpty()) {
        text = fromEnvironment;
        origin = QStringLiteral(" (из переменной %1)").arg(QLatin1String(facts.EnvironmentVariable));
    } else if (!settings.EndpointOverride.trimmed().isEmpty()) {
        text = settings.EndpointOverride.trimmed();
        origin = QStringLiteral(" (из настроек)");
    }
    const QUrl url(text, QUrl::StrictMode);
    if (Usable(url, facts.Transport))
        return {url, {}};
    const QString form = facts.Transport == TTransport::HttpGet ? QStringLiteral("http://сервер/путь или https://…")
                                                                : QStringLiteral("tcp://сервер:порт");
    return {{}, QStringLiteral("Адрес сервиса «%1»%2 не подходит: нужен адрес вида %3.").arg(text, origin, form)};
}

} // namespace publish
