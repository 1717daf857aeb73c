// The values of "publish.ini" and what is said of those not taken; see publish_values.h.
#include "publish/publish_values.h"

#include "publish/publish_file.h"

#include <cmath>

namespace publish {

TPublishValues::TPublishValues(const QString& dataFolder)
    : File(OpenPublishFile(dataFolder))
{
}

QString TPublishValues::Value(const QString& key) const
{
    return File.value(key).toString().trimmed();
}

void TPublishValues::Tell(const QString& subject, const QString& value, const QString& why, const QString& instead)
{
    FProblems
        << QStringLiteral("В «%1» %2 %3 %4; %5.").arg(QLatin1String(PublishFileName), subject, value, why, instead);
}

bool TPublishValues::Switch(const QString& key, bool fallback)
{
    const QString value = Value(key).toLower();
    if (value == QLatin1String("true") || value == QLatin1String("1"))
        return true;
    if (value == QLatin1String("false") || value == QLatin1String("0"))
        return false;
    return Choice(key, {QStringLiteral("false"), QStringLiteral("true")}, fallback ? 1 : 0) == 1;
}

int TPublishValues::Choice(const QString& key, const QStringList& names, int fallback)
{
    const QString value = Value(key);
    if (value.isEmpty())
        return fallback;
    if (const auto at = names.indexOf(value.toLower()); at >= 0)
        return static_cast<int>(at);
    Tell(QStringLiteral("у ключа %1 значение").arg(key), QStringLiteral("«%1»").arg(value),
         QStringLiteral("— не %1").arg(names.join(QStringLiteral(" и не "))),
         QStringLiteral("взято %1").arg(names[fallback]));
    return fallback;
}

int TPublishValues::Number(const QString& key, int fallback, int min, int max, const QString& what)
{
    const QString value = Value(key);
    if (value.isEmpty())
        return fallback;
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (ok && number >= min && number <= max)
        return static_cast<int>(number);
    const QString subject = QStringLiteral("%1 (%2)").arg(what, key);
    const QString instead = QStringLiteral("взят %1").arg(fallback);
    if (ok)
        Tell(subject, value, QStringLiteral("вне пределов %1..%2").arg(min).arg(max), instead);
    else
        Tell(subject, QStringLiteral("«%1»").arg(value), QStringLiteral("— не число"), instead);
    return fallback;
}

std::optional<double> TPublishValues::Decimal(const QString& key, double limit, const QString& what)
{
    const QString value = Value(key);
    if (value.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (ok && std::abs(number) <= limit)
        return number;
    const QString subject = QStringLiteral("%1 (%2)").arg(what, key);
    if (ok)
        Tell(subject, value, QStringLiteral("вне пределов %1..%2").arg(-limit).arg(limit), QStringLiteral("не задана"));
    else
        Tell(subject, QStringLiteral("«%1»").arg(value), QStringLiteral("— не число"), QStringLiteral("не задана"));
    return std::nullopt;
}

QString TPublishValues::Text(const QString& key, const QString& fallback) const
{
    return File.contains(key) ? File.value(key).toString() : fallback;
}

} // namespace publish
