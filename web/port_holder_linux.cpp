// Linux: the listening socket's inode from /proc/net/tcp and tcp6, then the process with a
// descriptor on that inode. Only processes whose /proc/<pid>/fd this user may read are found.
#include "web/port_holder.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

namespace web {
namespace {

constexpr char ListenState[] = "0A";

// The inode of the socket listening on `port`, from one of /proc/net/tcp{,6}.
QByteArray ListeningInode(const QString& table, quint16 port)
{
    QFile file(table);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray portHex = QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    file.readLine(); // the column names
    while (!file.atEnd()) {
        // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        if (fields.size() < 10 || fields[3] != ListenState)
            continue;
        if (fields[1].endsWith(':' + portHex))
            return fields[9];
    }
    return {};
}

// The link's own text: Qt would make "socket:[…]" a path.
QString LinkText(const QString& path)
{
    char buffer[64];
    const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return length > 0 ? QString::fromLatin1(buffer, length) : QString();
}

} // namespace

std::optional<QString> PortHolder(quint16 port)
{
    QByteArray inode;
    for (const QString& table : {QStringLiteral("/proc/net/tcp"), QStringLiteral("/proc/net/tcp6")})
        if (inode.isEmpty())
            inode = ListeningInode(table, port);
    if (inode.isEmpty() || inode == "0")
        return std::nullopt;
    const QString target = QStringLiteral("socket:[%1]").arg(QString::fromLatin1(inode));
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        pid.toInt(&isNumber);
        if (!isNumber)
            continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (LinkText(fds.filePath(fd)) != target)
                continue;
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            const QString name =
                comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll().trimmed()) : QString();
            return QStringLiteral("%1 (процесс %2)").arg(name.isEmpty() ? QStringLiteral("?") : name, pid);
        }
    }
    return std::nullopt;
}

} // namespace web
