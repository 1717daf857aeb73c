// A second connection to an archive the store has opened, only for reading: the long reads of the
// archive page (a year, how much the archive holds) run on it on a thread of their own while the
// store goes on writing on the main thread. The write-ahead log lets the reader see the last
// whole change and never a half one. It never creates, changes or moves a file.
#pragma once

#include "archive/archive_store.h"

#include <QString>
#include <memory>
#include <vector>

namespace archive {

class TArchiveConnection;

class TArchiveReader
{
public:
    // Opens the archive at `path` for reading; IsOpen() is false when it cannot (no file, not an
    // archive): the reads then give nothing.
    explicit TArchiveReader(const QString& path);
    ~TArchiveReader();
    TArchiveReader(const TArchiveReader&) = delete;
    TArchiveReader& operator=(const TArchiveReader&) = delete;

    bool IsOpen() const;
    std::vector<TArchiveHour> Hours(THourKey first, THourKey last);
    THoldings Holdings();
    // The live samples whose intervals start from `first` to `last` (both included), in order.
    std::vector<TSample> Samples(TUtcMinute first, TUtcMinute last);

private:
    std::unique_ptr<TArchiveConnection> FConnection;
};

} // namespace archive
