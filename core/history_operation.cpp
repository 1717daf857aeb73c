#include "core/history_operation.h"

#include <algorithm>

THistoryOperation::THistoryOperation(TStationRecord& station, THistoryState& history)
    : Station(station)
    , History(history)
{
    StallTimer.setSingleShot(true);
    StallTimer.setInterval(DefaultStallTimeoutMs);
    QObject::connect(&StallTimer, &QTimer::timeout, [this] {
        if (Running() && StallHandler)
            StallHandler(Kind());
    });
}

void THistoryOperation::SetStallHandler(std::function<void(THistoryOperationKind)> handler)
{
    StallHandler = std::move(handler);
}

void THistoryOperation::SetStallTimeout(int ms)
{
    StallTimer.setInterval(std::max(ms, 1));
}

int THistoryOperation::StallTimeout() const
{
    return StallTimer.interval();
}

bool THistoryOperation::Running() const
{
    return Station.DownloadActive == 1 || Station.ClearActive == 1;
}

THistoryOperationKind THistoryOperation::Kind() const
{
    if (Station.DownloadActive == 1)
        return THistoryOperationKind::Download;
    if (Station.ClearActive == 1)
        return THistoryOperationKind::Clear;
    return THistoryOperationKind::None;
}

bool THistoryOperation::TakesReportsFrom(const THidDevice* device) const
{
    return !Running() || device == OperationDevice;
}

void THistoryOperation::Start(THistoryOperationKind kind, THidDevice* device)
{
    if (Running() || kind == THistoryOperationKind::None)
        return;
    OperationDevice = device;
    if (kind == THistoryOperationKind::Download) {
        ImageBeforeDownload = History.HistoryImage;
        CompleteBeforeDownload = Station.HistoryComplete;
        Station.HistoryComplete = 0;
        Station.DownloadActive = 1;
    } else {
        Station.ClearActive = 1;
    }
    Station.BlockCount = 0;
    DamagedSinceLastBlock = false;
    StallTimer.start();
}

void THistoryOperation::NoteDamagedReport()
{
    DamagedSinceLastBlock = Running();
}

THistoryProgress THistoryOperation::TakeReport(const std::uint8_t* report)
{
    const THistoryOperationKind kind = Kind();
    if (kind == THistoryOperationKind::None)
        return {};
    StallTimer.start();
    DamagedSinceLastBlock = false;
    if (kind == THistoryOperationKind::Download && !StoreHistoryBlock(History.HistoryImage, Station.BlockCount, report))
        return {}; // cannot happen: the download ends at the last block
    const std::int32_t count = ++Station.BlockCount;
    if (count < HistoryBlockCount)
        return {kind, count, false};
    if (kind == THistoryOperationKind::Download) {
        Station.HistoryComplete = 1;
        Station.DownloadActive = 0;
    } else {
        Station.ClearActive = 0;
    }
    End();
    return {kind, count, true};
}

THistoryOperationKind THistoryOperation::Abandon()
{
    const THistoryOperationKind kind = Kind();
    if (kind == THistoryOperationKind::Download) {
        // The blocks that did arrive are of an unfinished download.
        History.HistoryImage = ImageBeforeDownload;
        Station.HistoryComplete = CompleteBeforeDownload;
    }
    Station.DownloadActive = 0;
    Station.ClearActive = 0;
    End();
    return kind;
}

void THistoryOperation::End()
{
    StallTimer.stop();
    OperationDevice = nullptr;
    Station.BlockCount = 0;
}
