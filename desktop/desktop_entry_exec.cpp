// Desktop entry Exec lines; see desktop_entry_exec.h.
#include "desktop/desktop_entry_exec.h"

#include <algorithm>

namespace desktop {

namespace {

const QString Reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
const QString EscapedInQuotes = QStringLiteral("\"`$\\");

// GLib looks for an entry's program under the first word of its Exec line before "%%" becomes "%",
// and drops an entry whose program it cannot find: a program whose path holds a percent sign is
// started by the shell, which GLib finds and which takes the path as a plain argument.
const QStringList ThroughShell{QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("exec \"$0\" \"$@\"")};

QString QuotedArgument(const QString& argument)
{
    QString quoted = argument;
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    const bool needsQuotes =
        quoted.isEmpty() || std::any_of(quoted.begin(), quoted.end(), [](QChar c) { return Reserved.contains(c); });
    if (!needsQuotes)
        return quoted;
    QString inQuotes;
    for (const QChar c : quoted) {
        if (EscapedInQuotes.contains(c))
            inQuotes += QLatin1Char('\\');
        inQuotes += c;
    }
    return QLatin1Char('"') + inQuotes + QLatin1Char('"');
}

// A desktop entry string: backslash, and the control characters a line cannot hold, escaped.
QString EscapedString(const QString& text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    return escaped;
}

QString UnescapedString(const QString& text)
{
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\') || i + 1 == text.size()) {
            plain += text[i];
            continue;
        }
        const QChar next = text[++i];
        if (next == QLatin1Char('s'))
            plain += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            plain += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            plain += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            plain += QLatin1Char('\r');
        else
            plain += next; // "\\" and anything else: the character itself
    }
    return plain;
}

} // namespace

QString ExecValue(const QString& program, const QStringList& arguments)
{
    QStringList parts;
    for (const QString& argument :
         (program.contains(QLatin1Char('%')) ? ThroughShell : QStringList()) + QStringList{program} + arguments)
        parts << QuotedArgument(argument);
    return EscapedString(parts.join(QLatin1Char(' ')));
}

std::optional<QStringList> ExecArguments(const QString& value)
{
    const QString line = UnescapedString(value);
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool inQuotes = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < line.size() && EscapedInQuotes.contains(line[i + 1]))
                current += line[++i];
            else if (c == QLatin1Char('"'))
                inQuotes = false;
            else
                current += c;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArgument)
                arguments << current;
            current.clear();
            inArgument = false;
            continue;
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
        } else {
            current += c;
        }
        inArgument = true;
    }
    if (inQuotes)
        return std::nullopt;
    if (inArgument)
        arguments << current;
    for (QString& argument : arguments)
        argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (arguments.size() > ThroughShell.size() && arguments.mid(0, ThroughShell.size()) == ThroughShell)
        return arguments.mid(ThroughShell.size());
    return arguments;
}

} // namespace desktop
