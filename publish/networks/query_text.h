// How values are written into requests: numbers with a decimal point whatever the locale (and
// never "-0.0"), UTC times in the forms the services read, and query strings percent-encoded by
// one rule (everything but letters, digits and "-._~", a space as %20, which reads the same in
// a query and in a path).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace publish {

QByteArray FixedText(double value, int decimals);
QByteArray PercentEncoded(const QString& value);
// "2026-01-31 12:34:56"
QString DateUtcText(const QDateTime& time);
// "2026-01-31T12:34:56Z"
QString IsoUtcText(const QDateTime& time);

// A query string in the order its fields are added; a field without a value is left out, as the
// services ask, rather than sent empty.
class TQuery
{
public:
    TQuery& Add(const char* name, const QString& value);
    TQuery& Add(const char* name, const std::optional<double>& value, int decimals);
    const QByteArray& Text() const { return FText; }

private:
    void Append(const char* name, const QByteArray& encodedValue);
    QByteArray FText;
};

} // namespace publish
