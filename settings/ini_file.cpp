// The settings files as a whole; see ini_file.h.
#include "settings/ini_file.h"

#include "os/atomic_file.h"
#include "os/file_access.h"

#include <QFile>
#include <QSettings>
#include <QStringDecoder>

namespace settings {
namespace {

// Whether `bytes` are an INI file's text: UTF-8 without NULs, each line blank, a comment, a
// [group] or a key=value. Qt's reader takes most binary junk for odd keys and bytes that are no
// UTF-8 for replacement characters, without a word: this check is the program's own for that.
bool IsIniText(const QByteArray& bytes)
{
    if (bytes.contains('\0'))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError())
        return false;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    bool continued = false;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n'))) {
        const QStringView trimmed = line.trimmed();
        const bool known = continued || trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')) ||
            trimmed.startsWith(QLatin1Char('#')) || trimmed.contains(QLatin1Char('=')) ||
            (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')));
        if (!known)
            return false;
        continued = trimmed.endsWith(QLatin1Char('\\'));
    }
    return true;
}

} // namespace

QString FileProblem(const QSettings& file)
{
    QSettings::Status status = file.status();
    if (status == QSettings::NoError) {
        QFile bytes(file.fileName());
        if (bytes.open(QIODevice::ReadOnly) && !IsIniText(bytes.readAll()))
            status = QSettings::FormatError;
    }
    switch (status) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return QStringLiteral("Файл настроек «%1» не удалось прочитать; взяты настройки по умолчанию.")
            .arg(os::ShownFileName(file.fileName()));
    case QSettings::FormatError:
        return QStringLiteral("Файл настроек «%1» повреждён; что из него не прочитать, взято по умолчанию.")
            .arg(os::ShownFileName(file.fileName()));
    }
    return {};
}

bool WriteFile(QSettings& file)
{
    os::CreateUserOnlyFile(file.fileName());
    file.sync();
    return file.status() != QSettings::AccessError;
}

} // namespace settings
