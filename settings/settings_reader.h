// The one way the program reads the values of its INI files ("meteostation.ini", "publish.ini"),
// on Qt's QSettings: a switch, a whole number in a range, a decimal number within a limit, one of
// some names, a text. A missing key, or one left empty, is the default without a word. A value that
// is none of its kind, or out of range, gives way to the default and is told, naming the file, so
// that a hand-edited file never changes a setting in silence.
#pragma once

#include <QList>
#include <QSettings>
#include <QStringList>
#include <optional>

namespace settings {

// Settings read from a file, and for the user, naming the file, what could not be read and was
// replaced by its default (empty when all was taken).
template <typename TSettings>
struct TLoaded
{
    TSettings Settings;
    QString Problem;
};

class TSettingsReader
{
public:
    // `group`: the group the keys are read in, e.g. "alarms"; empty when each key names its group
    // ("mqtt/port").
    explicit TSettingsReader(const QString& path, const QString& group = {});

    // The file as Qt read it, for its status and FileProblem.
    const QSettings& File() const { return FFile; }

    // true or 1, false or 0, in any case.
    bool Switch(const QString& key, bool fallback);
    // A whole number from `min` to `max`; `what` names it where it is told («порт MQTT»).
    int Number(const QString& key, int fallback, int min, int max, const QString& what = {});
    // A decimal number from -`limit` to `limit`; none otherwise. `what` is feminine («широта»).
    std::optional<double> Decimal(const QString& key, double limit, const QString& what);
    // The index among `names` (lower case) of the name it holds, in any case; `fallback` otherwise.
    int Choice(const QString& key, const QStringList& names, int fallback);
    // The text as it stands; `fallback` only for a missing key.
    QString Text(const QString& key, const QString& fallback = {}) const;

    // The keys whose values were not taken, in the order read.
    QStringList RefusedKeys() const;
    // Each value not taken in a sentence of its own, with the key, the value and what is taken
    // instead: «В «publish.ini» порт MQTT (mqtt/port) «eighty» — не число; взят 1883.»
    QString Refusals() const;
    // For a reader that tells the values of each group apart.
    void ForgetRefusals() { FRefusals.clear(); }

private:
    struct TRefusal
    {
        QString Key;
        QString Sentence;
    };

    QString Value(const QString& key) const;
    // «В «<file>» <subject> <value> <why>; <instead>.»
    void Refuse(const QString& key, const QString& subject, const QString& value, const QString& why,
                const QString& instead);

    QSettings FFile;
    QString FFileName;
    QList<TRefusal> FRefusals;
};

// The keys of a group not taken, all in one sentence naming the file by its full path:
// «В файле настроек «…» неверные значения (frost, heat_above); вместо них взяты значения по
// умолчанию.» Empty for none. The form the alarms page shows for "meteostation.ini".
QString RefusedKeysProblem(const QStringList& keys, const QString& path);

} // namespace settings
