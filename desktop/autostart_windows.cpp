// Autostart on Windows: a value under the user's Run key, which Windows starts at sign-in and
// lists under "Автозагрузка" in the task manager.
#include "desktop/autostart.h"
#include "desktop/windows_command_line.h"

#include <QDir>
#include <QSettings>

namespace desktop {

namespace {

const QString RunKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");

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
    const QStringList arguments = SplitWindowsCommandLine(command);
    if (arguments.isEmpty())
        return state;
    state.Enabled = true;
    state.Arguments = arguments.mid(1);
    return state;
}

QString EnableAutostart(const TAutostartEntry& entry)
{
    QSettings run(RunKey, QSettings::NativeFormat);
    run.setValue(entry.Name, WindowsCommandLine(QDir::toNativeSeparators(entry.Program), entry.Arguments));
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
