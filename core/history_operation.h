// A history download or clear while it runs: the station it talks to, the reports counted, the
// copy a download overwrites (kept so that an interrupted one leaves no trace) and the stall
// timer that ends it when the station falls silent. The window sends the command and shows the
// progress; this class keeps the state, so it is tested without a window.
#pragma once

#include "core/history_state.h"
#include "core/station_record.h"

#include <QTimer>
#include <cstdint>
#include <functional>

class THidDevice;

enum class THistoryOperationKind {
    None,
    Download, // the station sends its memory as 512 blocks
    Clear,    // the station clears its memory and sends 512 progress reports
};

// What one report did to the running operation.
struct THistoryProgress
{
    THistoryOperationKind Kind = THistoryOperationKind::None; // None: no operation took it
    std::int32_t BlockCount = 0;                              // reports counted so far
    bool Finished = false;                                    // the 512th: the operation has ended
};

class THistoryOperation
{
public:
    // A download or clear whose station sends nothing for this long ends as if the station had gone.
    static constexpr int DefaultStallTimeoutMs = 5000;

    // Keeps its flags and count in the station record (DownloadActive, ClearActive, BlockCount,
    // HistoryComplete) and downloads into the history state's image; both must outlive it.
    THistoryOperation(TStationRecord& station, THistoryState& history);
    THistoryOperation(const THistoryOperation&) = delete;
    THistoryOperation& operator=(const THistoryOperation&) = delete;

    // Called with the kind of a running operation when its stall time-out passes; the handler
    // decides how it ends (normally with Abandon).
    void SetStallHandler(std::function<void(THistoryOperationKind)> handler);
    void SetStallTimeout(int ms); // at least 1 ms
    int StallTimeout() const;

    // Starts an operation with `device`'s reports: a download keeps the copy and marks it
    // incomplete until the last block. Nothing happens while one runs.
    void Start(THistoryOperationKind kind, THidDevice* device);
    bool Running() const;
    THistoryOperationKind Kind() const;
    // The device the running operation talks to; none while none runs.
    THidDevice* Device() const { return OperationDevice; }
    // A report from `device` belongs to the operation, or none runs: readings of an earlier
    // station still streaming must not take a block's place.
    bool TakesReportsFrom(const THidDevice* device) const;

    // One report of the operation's station (64 bytes): the next block of a download, or one step
    // of a clear's progress. The 512th ends the operation; the download's copy is then complete.
    THistoryProgress TakeReport(const std::uint8_t* report);
    // A report of the operation's station too short to be a block (it is dropped). When the stall
    // time-out comes after such reports alone, the station is not silent: it sends damaged reports.
    void NoteDamagedReport();
    bool DamagedReportsSinceLastBlock() const { return Running() && DamagedSinceLastBlock; }

    // Ends a running operation as if it never started: a download's copy and whether it may be
    // saved go back to what they were. Returns the kind that ended (None when none ran).
    THistoryOperationKind Abandon();

private:
    void End();

    TStationRecord& Station;
    THistoryState& History;
    THidDevice* OperationDevice = nullptr;
    THistoryImage ImageBeforeDownload{};
    std::uint8_t CompleteBeforeDownload = 1;
    bool DamagedSinceLastBlock = false;
    QTimer StallTimer;
    std::function<void(THistoryOperationKind)> StallHandler;
};
