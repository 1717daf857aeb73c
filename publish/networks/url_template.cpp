// «Свой адрес»: the address template and its placeholders; see url_template.h.
#include "publish/networks/url_template.h"

#include "publish/networks/query_text.h"
#include "publish/networks/software_identity.h"

#include <functional>
#include <vector>

namespace publish {

namespace {

struct TTemplateInput
{
    const QString& StationId;
    const QString& Key;
    const TPublishedValues& Values;
};

struct TPlaceholder
{
    const char* Name;
    bool IsTime;
    std::function<QByteArray(const TTemplateInput&)> Value;
};

// What a missing value expands to until its parameter is left out (LeaveOutMissing): a byte no
// expanded value or sensible template holds.
constexpr char MissingMark = '\x01';

QByteArray Number(const std::optional<double>& value, int decimals)
{
    return value ? FixedText(*value, decimals) : QByteArray(1, MissingMark);
}

// A query parameter whose value is missing goes without it (no "h=&dp="), so that the server
// never takes an empty value for a zero; elsewhere in the address a missing value is empty.
QByteArray LeaveOutMissing(const QByteArray& url)
{
    if (!url.contains(MissingMark))
        return url;
    const qsizetype queryAt = url.indexOf('?');
    const qsizetype fragmentAt = url.indexOf('#', queryAt < 0 ? 0 : queryAt);
    const qsizetype queryEnd = fragmentAt < 0 ? url.size() : fragmentAt;
    QByteArray head = queryAt < 0 ? url.left(queryEnd) : url.left(queryAt);
    head.replace(MissingMark, QByteArray());
    if (queryAt < 0)
        return head + url.mid(queryEnd);
    QList<QByteArray> kept;
    for (const QByteArray& parameter : url.mid(queryAt + 1, queryEnd - queryAt - 1).split('&'))
        if (!parameter.contains(MissingMark))
            kept << parameter;
    QByteArray fragment = url.mid(queryEnd);
    fragment.replace(MissingMark, QByteArray());
    return head + '?' + kept.join('&') + fragment;
}

const std::vector<TPlaceholder>& Placeholders()
{
    static const std::vector<TPlaceholder> placeholders{
        {"id", false, [](const TTemplateInput& in) { return PercentEncoded(in.StationId); }},
        {"key", false, [](const TTemplateInput& in) { return PercentEncoded(in.Key); }},
        {"dateutc", true, [](const TTemplateInput& in) { return PercentEncoded(DateUtcText(in.Values.Time)); }},
        {"time", true, [](const TTemplateInput& in) { return PercentEncoded(IsoUtcText(in.Values.Time)); }},
        {"unixtime", true,
         [](const TTemplateInput& in) { return QByteArray::number(in.Values.Time.toSecsSinceEpoch()); }},
        {"tempc", false, [](const TTemplateInput& in) { return Number(in.Values.OutdoorC, 1); }},
        {"tempf", false, [](const TTemplateInput& in) { return Number(in.Values.OutdoorF(), 1); }},
        {"indoortempc", false, [](const TTemplateInput& in) { return Number(in.Values.IndoorC, 1); }},
        {"indoortempf", false, [](const TTemplateInput& in) { return Number(in.Values.IndoorF(), 1); }},
        {"humidity", false, [](const TTemplateInput& in) { return Number(in.Values.OutdoorHumidity, 0); }},
        {"indoorhumidity", false, [](const TTemplateInput& in) { return Number(in.Values.IndoorHumidity, 0); }},
        {"dewptc", false, [](const TTemplateInput& in) { return Number(in.Values.DewPointC, 1); }},
        {"dewptf", false, [](const TTemplateInput& in) { return Number(in.Values.DewPointF(), 1); }},
        {"mmhg", false, [](const TTemplateInput& in) { return Number(in.Values.SeaLevelMmHg, 1); }},
        {"hpa", false, [](const TTemplateInput& in) { return Number(in.Values.SeaLevelHpa(), 1); }},
        {"inhg", false, [](const TTemplateInput& in) { return Number(in.Values.SeaLevelInHg(), 3); }},
        {"softwaretype", false, [](const TTemplateInput&) { return PercentEncoded(SoftwareType()); }},
    };
    return placeholders;
}

const TPlaceholder* FindPlaceholder(QStringView name)
{
    for (const TPlaceholder& placeholder : Placeholders())
        if (name == QLatin1String(placeholder.Name))
            return &placeholder;
    return nullptr;
}

// One piece of the template: literal text, or a placeholder.
struct TPiece
{
    QString Literal;
    const TPlaceholder* Placeholder = nullptr;
};

// The template cut into pieces; `problem` says what is wrong when it cannot be.
std::vector<TPiece> Pieces(const QString& urlTemplate, QString& problem)
{
    std::vector<TPiece> pieces;
    qsizetype at = 0;
    while (at < urlTemplate.size()) {
        const qsizetype open = urlTemplate.indexOf(QLatin1Char('{'), at);
        const qsizetype stray = urlTemplate.indexOf(QLatin1Char('}'), at);
        if (stray >= 0 && (open < 0 || stray < open)) {
            problem = QStringLiteral("В адресе лишняя «}» без «{».");
            return {};
        }
        if (open < 0) {
            pieces.push_back({urlTemplate.mid(at)});
            break;
        }
        if (open > at)
            pieces.push_back({urlTemplate.mid(at, open - at)});
        const qsizetype close = urlTemplate.indexOf(QLatin1Char('}'), open);
        if (close < 0) {
            problem = QStringLiteral("В адресе «{» без закрывающей «}».");
            return {};
        }
        const QString name = urlTemplate.mid(open + 1, close - open - 1);
        const TPlaceholder* placeholder = FindPlaceholder(name);
        if (!placeholder) {
            problem = QStringLiteral("Неизвестная подстановка {%1}. Известные: %2.")
                          .arg(name, KnownPlaceholders().join(QStringLiteral(", ")));
            return {};
        }
        pieces.push_back({QString(), placeholder});
        at = close + 1;
    }
    return pieces;
}

QByteArray Expanded(const std::vector<TPiece>& pieces, const TTemplateInput& input)
{
    QByteArray url;
    for (const TPiece& piece : pieces)
        url += piece.Placeholder ? piece.Placeholder->Value(input) : piece.Literal.toUtf8();
    return url;
}

} // namespace

QStringList KnownPlaceholders()
{
    QStringList names;
    for (const TPlaceholder& placeholder : Placeholders())
        names << QStringLiteral("{%1}").arg(QLatin1String(placeholder.Name));
    return names;
}

QString TemplateProblem(const QString& urlTemplate)
{
    QString problem;
    const std::vector<TPiece> pieces = Pieces(urlTemplate.trimmed(), problem);
    if (!problem.isEmpty())
        return problem;
    // Tried out with a reading that has every value, so that the owner hears of a bad address now.
    TPublishedValues sample;
    sample.Time = QDateTime(QDate(2026, 1, 31), QTime(12, 34, 56), Qt::UTC);
    sample.OutdoorC = sample.IndoorC = sample.OutdoorHumidity = sample.IndoorHumidity = sample.DewPointC = 1.0;
    sample.SeaLevelMmHg = 750.0;
    const QUrl url =
        QUrl::fromEncoded(Expanded(pieces, {QStringLiteral("id"), QStringLiteral("key"), sample}), QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return QStringLiteral("Адрес должен начинаться с http:// или https:// и называть сервер, например "
                              "https://example.org/weather?t={tempc}.");
    return {};
}

bool TemplateCarriesTime(const QString& urlTemplate)
{
    QString problem;
    for (const TPiece& piece : Pieces(urlTemplate.trimmed(), problem))
        if (piece.Placeholder && piece.Placeholder->IsTime)
            return true;
    return false;
}

QUrl ExpandTemplate(const QString& urlTemplate, const QString& stationId, const QString& key,
                    const TPublishedValues& values)
{
    QString problem;
    return QUrl::fromEncoded(
        LeaveOutMissing(Expanded(Pieces(urlTemplate.trimmed(), problem), {stationId, key, values})),
        QUrl::TolerantMode);
}

} // namespace publish
