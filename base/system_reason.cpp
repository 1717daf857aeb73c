#include "base/system_reason.h"

#include <cerrno>
#include <cstring>

namespace base {

QString SystemReason(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("на диске нет свободного места");
#ifdef EDQUOT // not an error code of Windows
    case EDQUOT:
        return QStringLiteral("исчерпана дисковая квота");
#endif
    case EROFS:
        return QStringLiteral("диск доступен только для чтения");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав на запись");
    case EFBIG:
        return QStringLiteral("превышен допустимый размер файла");
    case EIO:
        return QStringLiteral("ошибка ввода-вывода");
    case ENOENT:
        return QStringLiteral("папка не найдена");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace base
