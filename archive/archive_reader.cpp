#include "archive/archive_reader.h"
#include "archive/archive_connection.h"

namespace archive {

TArchiveReader::TArchiveReader(const QString& path)
{
    auto connection = std::make_unique<TArchiveConnection>();
    // No mutex of SQLite's own: the connection stays on the thread that made it.
    // As the store's own: no link followed, no SQL of the file's run.
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &connection->Db,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (rc != SQLITE_OK || connection->Harden() != SQLITE_OK)
        return;
    sqlite3_busy_timeout(connection->Db, DefaultBusyTimeoutMs);
    if (connection->PrepareAll() == SQLITE_OK)
        FConnection = std::move(connection);
}

TArchiveReader::~TArchiveReader() = default;

bool TArchiveReader::IsOpen() const
{
    return FConnection != nullptr;
}

std::vector<TArchiveHour> TArchiveReader::Hours(THourKey first, THourKey last)
{
    return IsOpen() ? ReadHours(*FConnection, first, last) : std::vector<TArchiveHour>{};
}

THoldings TArchiveReader::Holdings()
{
    return IsOpen() ? ReadHoldings(*FConnection) : THoldings{};
}

} // namespace archive
