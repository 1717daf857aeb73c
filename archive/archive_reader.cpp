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

std::vector<TSample> TArchiveReader::Samples(TUtcMinute first, TUtcMinute last)
{
    std::vector<TSample> samples;
    if (!IsOpen() || last < first)
        return samples;
    // Prepared here rather than with the store's statements: only this connection reads them.
    TStatement s;
    if (s.Prepare(FConnection->Db,
                  "SELECT minute, reports, indoor, indoor_count, outdoor, outdoor_count, pressure, pressure_count,"
                  " humidity, humidity_count FROM samples WHERE minute BETWEEN ?1 AND ?2 ORDER BY minute") != SQLITE_OK)
        return samples;
    s.Bind(1, first);
    s.Bind(2, last);
    while (s.Step() == SQLITE_ROW) {
        TSample sample;
        sample.Start = s.Int64(0);
        sample.Reports = static_cast<int>(s.Int64(1));
        for (const base::TQuantity quantity : base::Quantities) {
            const int q = base::QuantityNumber(quantity);
            const auto i = static_cast<std::size_t>(q);
            sample.Count[i] = static_cast<int>(s.Int64(3 + 2 * q));
            if (sample.Count[i] > 0)
                sample.Mean[i] = s.Measured(quantity, 2 + 2 * q).value_or(MissingValue);
        }
        samples.push_back(sample);
    }
    return samples;
}

} // namespace archive
