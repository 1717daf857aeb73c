// Windows command lines; see windows_command_line.h.
#include "desktop/windows_command_line.h"

namespace desktop {

namespace {

QString QuotedWindowsArgument(const QString& argument)
{
    if (!argument.isEmpty() && !argument.contains(QLatin1Char(' ')) && !argument.contains(QLatin1Char('\t')) &&
        !argument.contains(QLatin1Char('"')))
        return argument;
    QString quoted = QStringLiteral("\"");
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
        } else {
            if (c == QLatin1Char('"'))
                quoted += QString(backslashes + 1, QLatin1Char('\\'));
            backslashes = 0;
        }
        quoted += c;
    }
    quoted += QString(backslashes, QLatin1Char('\\'));
    return quoted + QLatin1Char('"');
}

} // namespace

QString WindowsCommandLine(const QString& program, const QStringList& arguments)
{
    QStringList parts{QuotedWindowsArgument(program)};
    for (const QString& argument : arguments)
        parts << QuotedWindowsArgument(argument);
    return parts.join(QLatin1Char(' '));
}

QStringList SplitWindowsCommandLine(const QString& line)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    qsizetype backslashes = 0;
    for (const QChar c : line) {
        if (c == QLatin1Char('\\')) {
            ++backslashes;
            inArgument = true;
            continue;
        }
        if (c == QLatin1Char('"')) {
            current += QString(backslashes / 2, QLatin1Char('\\'));
            if (backslashes % 2 == 1)
                current += c;
            else
                inQuotes = !inQuotes;
            backslashes = 0;
            inArgument = true;
            continue;
        }
        current += QString(backslashes, QLatin1Char('\\'));
        backslashes = 0;
        if (!inQuotes && (c == QLatin1Char(' ') || c == QLatin1Char('\t'))) {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
            continue;
        }
        current += c;
        inArgument = true;
    }
    current += QString(backslashes, QLatin1Char('\\'));
    if (inArgument)
        arguments << current;
    return arguments;
}

} // namespace desktop
