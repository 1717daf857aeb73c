#include "os/data_folder_lock.h"

#include <QList>

namespace os {

QByteArray LockFileText(std::int64_t processId, const QString& kind)
{
    return QByteArray::number(static_cast<qlonglong>(processId)) + '\n' + kind.toUtf8() + '\n';
}

TLockHolder ParseLockFileText(const QByteArray& text)
{
    const QList<QByteArray> lines = text.split('\n');
    TLockHolder holder;
    bool number = false;
    const qlonglong id = lines.value(0).trimmed().toLongLong(&number);
    holder.ProcessId = number && id > 0 ? id : 0;
    holder.Kind = QString::fromUtf8(lines.value(1).trimmed());
    return holder;
}

} // namespace os
