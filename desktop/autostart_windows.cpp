// Autostart on Windows: a value under the user's Run key, which Windows starts at sign-in and
// lists under "Автозагрузка" in the task manager.
#include "desktop/autostart.h"

#include <QDir>
#include <QSettings>

namespace desktop {

namespace {

const QString RunKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

// An argument as Windows programs split their command line: quoted when it holds a space, a tab
// or a quote, with backslashes before a quote doubled.
QString QuotedArgument(const QString& argument)
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

// The arguments of a command line as written by QuotedArgument (and by hand, quotes and spaces).
QStringList SplitCommandLine(const QString& line)
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

QString Problem(const QString& what)
{
    return QStringLiteral("Не удалось %1 автозапуск в разделе реестра «%2»: нет доступа.").arg(what, RunKey);
}

} // namespace

TAutostartState ReadAutostart(const QString& name)
{
    TAutostartState state;
    const QSettings run(RunKey, QSettings::NativeFormat);
    const QString command = run.value(name).toString();
    const QStringList arguments = SplitCommandLine(command);
    if (arguments.isEmpty())
        return state;
    state.Enabled = true;
    state.Arguments = arguments.mid(1);
    return state;
}

QString EnableAutostart(const TAutostartEntry& entry)
{
    QStringList parts{QuotedArgument(QDir::toNativeSeparators(entry.Program))};
    for (const QString& argument : entry.Arguments)
        parts << QuotedArgument(argument);
    QSettings run(RunKey, QSettings::NativeFormat);
    run.setValue(entry.Name, parts.join(QLatin1Char(' ')));
    run.sync();
    return run.status() == QSettings::NoError ? QString() : Problem(QStringLiteral("включить"));
}

QString DisableAutostart(const QString& name)
{
    QSettings run(RunKey, QSettings::NativeFormat);
    run.remove(name);
    run.sync();
    return run.status() == QSettings::NoError ? QString() : Problem(QStringLiteral("выключить"));
}

} // namespace desktop
