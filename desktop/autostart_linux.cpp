// Autostart on Linux: an XDG autostart entry in the user's autostart folder, written whole into a
// temporary beside it and renamed into place, so a session never finds half an entry.
#include "base/system_reason.h"
#include "desktop/autostart.h"
#include "desktop/desktop_entry_exec.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextStream>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace desktop {

namespace {

const QString EntryGroup = QStringLiteral("[Desktop Entry]");

QString AutostartFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString EntryPath(const QString& name)
{
    return AutostartFolder() + QLatin1Char('/') + name + QStringLiteral(".desktop");
}

QString EntryText(const TAutostartEntry& entry)
{
    QString text = EntryGroup + QLatin1Char('\n');
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=") + entry.DisplayName + QLatin1Char('\n');
    if (!entry.Comment.isEmpty())
        text += QStringLiteral("Comment=") + entry.Comment + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + ExecValue(entry.Program, entry.Arguments) + QLatin1Char('\n');
    if (!entry.IconName.isEmpty())
        text += QStringLiteral("Icon=") + entry.IconName + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text;
}

// Writes `bytes` to `path` through a temporary in the same folder; 0 when done, else the errno.
int WriteWhole(const QString& path, const QByteArray& bytes)
{
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return errno;
    int error = 0;
    qsizetype written = 0;
    while (written < bytes.size() && error == 0) {
        const ssize_t n = write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno != EINTR)
            error = errno;
        else if (n > 0)
            written += n;
    }
    if (error == 0 && (fchmod(fd, 0644) != 0 || fsync(fd) != 0))
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temporary.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error != 0)
        unlink(temporary.constData());
    return error;
}

} // namespace

TAutostartState ReadAutostart(const QString& name)
{
    TAutostartState state;
    QFile file(EntryPath(name));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return state;
    bool inEntry = false;
    bool hidden = false;
    std::optional<QStringList> command;
    QTextStream lines(&file);
    QString line;
    while (lines.readLineInto(&line)) {
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line.trimmed() == EntryGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inEntry || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        // A desktop that switches an entry off marks it so instead of deleting it.
        if ((key == QStringLiteral("Hidden") && value == QStringLiteral("true")) ||
            (key == QStringLiteral("X-GNOME-Autostart-enabled") && value == QStringLiteral("false")))
            hidden = true;
        else if (key == QStringLiteral("Exec"))
            command = ExecArguments(value);
    }
    if (hidden || !command || command->isEmpty())
        return state;
    state.Enabled = true;
    state.Arguments = command->mid(1);
    return state;
}

QString EnableAutostart(const TAutostartEntry& entry)
{
    const QString folder = AutostartFolder();
    std::error_code created;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), created);
    if (created)
        return QStringLiteral("Не удалось создать папку автозапуска «%1»: %2.")
            .arg(QDir::toNativeSeparators(folder), base::SystemReason(created.value()));
    const QString path = EntryPath(entry.Name);
    if (const int error = WriteWhole(path, EntryText(entry).toUtf8()); error != 0)
        return QStringLiteral("Не удалось записать файл автозапуска «%1»: %2.").arg(path, base::SystemReason(error));
    return {};
}

QString DisableAutostart(const QString& name)
{
    const QString path = EntryPath(name);
    if (unlink(QFile::encodeName(path).constData()) == 0)
        return {};
    const int error = errno;
    if (error == ENOENT)
        return {};
    return QStringLiteral("Не удалось удалить файл автозапуска «%1»: %2.").arg(path, base::SystemReason(error));
}

} // namespace desktop
