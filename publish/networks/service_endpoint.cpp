// Where a service is sent; see service_endpoint.h.
#include "publish/networks/service_endpoint.h"

namespace publish {

namespace {

bool Usable(const QUrl& url, TTransport transport)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (transport == TTransport::HttpGet)
        return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
    return url.scheme() == QLatin1String("tcp") && url.port() > 0;
}

} // namespace

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
