// Windows: the listening socket's owner from the system's TCP tables (IPv4, then IPv6), then that
// process's program file. A process this user may not open is named by its number alone.
#include "web/port_holder.h"

#include <QFileInfo>
#include <vector>
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

namespace web {
namespace {

// The owner of the socket listening on `port` in the `family` table, or 0.
template <typename TTable>
DWORD ListeningOwner(ULONG family, quint16 port)
{
    DWORD size = 0;
    std::vector<unsigned char> buffer;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between the call that asks its size and the one that fills it.
    for (int attempt = 0; attempt < 3 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size);
        result = GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, family,
                                     TCP_TABLE_OWNER_PID_LISTENER, 0);
    }
    if (result != NO_ERROR)
        return 0;
    const auto* table = reinterpret_cast<const TTable*>(buffer.data());
    for (DWORD i = 0; i < table->dwNumEntries; ++i)
        if (ntohs(static_cast<u_short>(table->table[i].dwLocalPort)) == port)
            return table->table[i].dwOwningPid;
    return 0;
}

QString ProgramName(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return {};
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    QString name;
    if (QueryFullProcessImageNameW(process, 0, path, &length))
        name = QFileInfo(QString::fromWCharArray(path, static_cast<int>(length))).fileName();
    CloseHandle(process);
    return name;
}

} // namespace

std::optional<QString> PortHolder(quint16 port)
{
    DWORD owner = ListeningOwner<MIB_TCPTABLE_OWNER_PID>(AF_INET, port);
    if (owner == 0)
        owner = ListeningOwner<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, port);
    if (owner == 0)
        return std::nullopt;
    const QString name = ProgramName(owner);
    return QStringLiteral("%1 (процесс %2)").arg(name.isEmpty() ? QStringLiteral("?") : name).arg(owner);
}

} // namespace web
