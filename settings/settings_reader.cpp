// The values of the program's INI files and what is said of those not taken; see settings_reader.h.
//
// What Qt's INI reader does to a hand-written value, and what is done about it here:
// - a value with a comma outside quotes ("true, false", a template "…?t={temp},{hum}") comes as a
//   list of its parts, trimmed, which reads as an empty text: Value joins the parts again so that
//   such a value is told, not taken for an empty one and passed over. Text keeps Qt's reading: the
//   text as written cannot be had back from the parts. The program's own writes quote such texts;
// - ";" starts a comment even inside an unquoted value, and keys and groups are matched with their
//   case ("Frost=" is not "frost="): a key written so is missing, and its default stands;
// - a value that starts with "@" may be Qt's spelling of a typed value: "@Invalid()" reads as a
//   missing key, "@@" as one "@";
// - bytes that are no UTF-8, and junk that is no INI text at all, are read without a word: the
//   file as a whole is judged by FileProblem (ini_file.h);
// - Cyrillic texts come back as written; quotes keep a value's spaces, commas and ";" in it;
// - saving writes the whole file anew, its groups and keys in Qt's order, without the comments
//   (as every writer of these files always has).
#include "settings/settings_reader.h"

#include "os/atomic_file.h"

#include <QFileInfo>
#include <cmath>

namespace settings {

TSettingsReader::TSettingsReader(const QString& path, const QString& group)
    : FFile(path, QSettings::IniFormat)
    , FFileName(QFileInfo(path).fileName())
{
    if (!group.isEmpty())
        FFile.beginGroup(group);
}

// The value's text, trimmed; empty for a missing key or one left empty.
QString TSettingsReader::Value(const QString& key) const
{
    const QVariant value = FFile.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", ")).trimmed();
    return value.toString().trimmed();
}

void TSettingsReader::Refuse(const QString& key, const QString& subject, const QString& value, const QString& why,
                             const QString& instead)
{
    FRefusals << TRefusal{key, QStringLiteral("В «%1» %2 %3 %4; %5.").arg(FFileName, subject, value, why, instead)};
}

bool TSettingsReader::Switch(const QString& key, bool fallback)
{
    const QString value = Value(key).toLower();
    if (value == QLatin1String("true") || value == QLatin1String("1"))
        return true;
    if (value == QLatin1String("false") || value == QLatin1String("0"))
        return false;
    return Choice(key, {QStringLiteral("false"), QStringLiteral("true")}, fallback ? 1 : 0) == 1;
}

int TSettingsReader::Choice(const QString& key, const QStringList& names, int fallback)
{
    const QString value = Value(key);
    if (value.isEmpty())
        return fallback;
    if (const auto at = names.indexOf(value.toLower()); at >= 0)
        return static_cast<int>(at);
    Refuse(key, QStringLiteral("у ключа %1 значение").arg(key), QStringLiteral("«%1»").arg(value),
           QStringLiteral("— не %1").arg(names.join(QStringLiteral(" и не "))),
           QStringLiteral("взято %1").arg(names[fallback]));
    return fallback;
}

int TSettingsReader::Number(const QString& key, int fallback, int min, int max, const QString& what)
{
    const QString value = Value(key);
    if (value.isEmpty())
        return fallback;
    // Read wider than an int, so that a number past its range is told as out of range, never cut.
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (ok && number >= min && number <= max)
        return static_cast<int>(number);
    const QString subject = what.isEmpty() ? key : QStringLiteral("%1 (%2)").arg(what, key);
    const QString instead = QStringLiteral("взят %1").arg(fallback);
    if (ok)
        Refuse(key, subject, value, QStringLiteral("вне пределов %1..%2").arg(min).arg(max), instead);
    else
        Refuse(key, subject, QStringLiteral("«%1»").arg(value), QStringLiteral("— не число"), instead);
    return fallback;
}

std::optional<double> TSettingsReader::Decimal(const QString& key, double limit, const QString& what)
{
    const QString value = Value(key);
    if (value.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (ok && std::abs(number) <= limit)
        return number;
    const QString subject = QStringLiteral("%1 (%2)").arg(what, key);
    const QString instead = QStringLiteral("не задана");
    if (ok)
        Refuse(key, subject, value, QStringLiteral("вне пределов %1..%2").arg(-limit).arg(limit), instead);
    else
        Refuse(key, subject, QStringLiteral("«%1»").arg(value), QStringLiteral("— не число"), instead);
    return std::nullopt;
}

QString TSettingsReader::Text(const QString& key, const QString& fallback) const
{
    return FFile.contains(key) ? FFile.value(key).toString() : fallback;
}

QStringList TSettingsReader::RefusedKeys() const
{
    QStringList keys;
    for (const TRefusal& refusal : FRefusals)
        keys << refusal.Key;
    return keys;
}

QString TSettingsReader::Refusals() const
{
    QStringList sentences;
    for (const TRefusal& refusal : FRefusals)
        sentences << refusal.Sentence;
    return sentences.join(QLatin1Char(' '));
}

QString RefusedKeysProblem(const QStringList& keys, const QString& path)
{
    if (keys.isEmpty())
        return {};
    return QStringLiteral("В файле настроек «%1» неверные значения (%2); вместо них взяты значения по умолчанию.")
        .arg(os::ShownFileName(path), keys.join(QStringLiteral(", ")));
}

} // namespace settings
