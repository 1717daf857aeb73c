// The values of "publish.ini" as the publishers read them. A value its key cannot hold (or out of
// its range) gives way to the one the program takes instead, and the owner is told which key held
// what, so that a hand-edited file never changes a setting without a word. A missing or empty key
// is simply the default.
#pragma once

#include <QSettings>
#include <QStringList>
#include <optional>

namespace publish {

class TPublishValues
{
public:
    explicit TPublishValues(const QString& dataFolder);

    // true or 1, false or 0.
    bool Switch(const QString& key, bool fallback);
    // A whole number from `min` to `max`; `what` names it for the owner («порт MQTT»).
    int Number(const QString& key, int fallback, int min, int max, const QString& what);
    // A decimal number from -`limit` to `limit`; none otherwise. `what` is feminine («широта»).
    std::optional<double> Decimal(const QString& key, double limit, const QString& what);
    // The index of the name it holds among `names`; `fallback` otherwise.
    int Choice(const QString& key, const QStringList& names, int fallback);
    QString Text(const QString& key, const QString& fallback = {}) const;

    // Each value that was not taken, in Russian, in the order read.
    QString Problems() const { return FProblems.join(QLatin1Char(' ')); }
    // For a reader that tells the problems of each group apart.
    void ForgetProblems() { FProblems.clear(); }

private:
    // The value's text, trimmed; empty for a missing key.
    QString Value(const QString& key) const;
    // «В "publish.ini" <subject> <value> <why>; <instead>.»
    void Tell(const QString& subject, const QString& value, const QString& why, const QString& instead);

    QSettings File;
    QStringList FProblems;
};

} // namespace publish
