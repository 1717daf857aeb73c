// The station application without a window: the link with the station (matching it among the HID
// devices, its commands, its silence and its unplug), the intake of its reports, the program's copy
// of its history memory with the download or clear that fills it, and the weather archive beside it
// (the copy's first import, each download merged, the live stream's 5-minute samples, the weather
// networks' queue). A readings report is decoded once into a `base::TStationReading`, which every
// subscriber takes from the `Reading` signal: the window's pages, the tray, the alarms and outlook,
// the publishers. The window is one view of the core; a test, a tool or the service runs it alone.
// Everything here runs on the main thread.
#pragma once

#include "archive/archive_store.h"
#include "archive/live_sampler.h"
#include "base/station_reading.h"
#include "core/archive_upload_queue.h"
#include "core/history_file.h"
#include "core/history_operation.h"
#include "core/history_state.h"
#include "core/station_record.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QTimer;
class THidDevice;
class THidDeviceController;
namespace hidplatform {
class Platform;
}

// What the link with the station is like, as the link panel says it.
enum class TLinkState {
    Disconnected, // no station
    Connected,    // a station is matched and may send
    Silent,       // matched, but nothing came for the silence time-out while its readings should stream
    NoAccess,     // matched, but only identified: it may not be opened
    ReadError,    // the last read failed (ReadErrorText says why)
};

// How a download or clear ended before its last report.
enum class THistoryEnd {
    Stalled,        // the station sent nothing for the stall time-out
    DamagedReports, // only reports of the wrong length came since the last block
    Unplugged,      // its station went away
};

class TStationCore : public QObject
{
    Q_OBJECT

public:
    // A station that has sent nothing for this long while its readings should stream is shown as
    // silent, until its next report.
    static constexpr int DefaultStreamSilenceTimeoutMs = 5000;

    // Talks to HID devices through `platform`, which must outlive the core.
    explicit TStationCore(hidplatform::Platform& platform, QObject* parent = nullptr);
    ~TStationCore() override;

    // The station record, the copy of the station's history memory ("met.mtb") and the download or
    // clear while it runs.
    TStationRecord Station;
    THistoryState History;
    THistoryOperation HistoryOperation{Station, History};

    THidDeviceController* Controller() const { return FController; }

    // The computer's clock as the core reads it; tests fix it. An empty function restores it.
    using TClock = std::function<QDateTime()>;
    void SetClock(TClock clock);
    QDateTime Now() const;

    // ---- Start and close ----
    // The record at rest and the copy loaded from "met.mtb"; the caller tells the user what the
    // result says.
    THistoryLoadResult LoadHistory();
    // Starts finding the station among the HID devices (also on hot-plug).
    void StartLink();
    // The program is closing: the station is told to be quiet and the last sample kept; the copy
    // imported if the archive was never opened.
    void BeginClose();
    // The close was given up (the user keeps the program open): the stream comes back as it was.
    void ResumeAfterClose();
    // Writes "met.mtb" when the copy is complete and the file does not hold it already; throws
    // os::EFileError when it cannot.
    void SaveHistoryCopy();
    // Lets the station go (checked in), as at the end of a run.
    void ReleaseStation();

    // ---- The link ----
    // The controller's events: bound to these by the core, or to a view's handlers that pass them on.
    bool TakeEnumerate(THidDevice* device, int index);
    void TakeArrival(THidDevice* device);
    void TakeDeviceData(THidDevice* device, std::uint8_t reportId, const std::uint8_t* data, std::uint16_t size);
    void TakeUnplug(THidDevice* device);
    void TakeDataError(THidDevice* device, std::uint32_t error);
    // One input report's data (the bytes after the report id): copied into the report image, then
    // a history block or a reading. A null pointer counts as no data.
    void TakeReport(const std::uint8_t* bytes, std::uint16_t size);
    // A station has been matched with access (after its check-out): it is told to stream unless a
    // download or clear runs.
    void TakeStationMatch();
    // The station has gone away (after its release).
    void TakeStationGone();
    // A read failed with the system's text for it.
    void TakeReadError(const QString& systemMessage);

    TLinkState LinkState() const { return FLinkState; }
    // The link as the readings' subscribers away from the window show it.
    base::TStationPresence Presence() const;
    const QString& ReadErrorText() const { return FReadError; }
    bool StationPresent() const { return Station.StationDevice != nullptr; }

    // Sends the output report held in the report image; false when there is no station or the
    // write failed, whose error code SendError then holds (0 when there was no station).
    bool SendReport();
    bool SendCommand(TCommandCode code);
    std::uint32_t SendError() const { return FSendError; }
    // The system's text for SendError.
    QString SendErrorText() const;

    // The station's readings are wanted (a page that shows, samples or publishes them is shown):
    // the station is told to stream or to be quiet, and a stream that stops has its sample kept.
    void SetStreamWanted(bool wanted);
    bool StreamWanted() const { return FStreamWanted; }
    // The readings stream and no download or clear runs: readings reach the subscribers.
    bool StreamingReadings() const { return FStreamWanted && !HistoryOperation.Running(); }
    void SetStreamSilenceTimeout(int ms);

    // ---- The history ----
    // Sends the command of a download or clear; false (nothing runs) when there is no station, one
    // runs already, or the command could not be sent (SendError says why).
    bool StartHistoryOperation(THistoryOperationKind kind);
    // The copy's dated records counted and its newest day found; the count's text.
    QString ScanHistory();

    // ---- The archive ----
    // Opens the archive once, with the first start's import of the copy loaded from "met.mtb".
    void OpenArchive();
    // The open archive; none before OpenArchive or when it could not be opened.
    archive::TArchiveStore* Archive() const;
    // The weather networks' queue in the archive (failing with the reason while there is none).
    TArchiveUploadQueue& UploadQueue() { return FUploadQueue; }
    // The sample of the readings so far is kept (the stream stops).
    void FlushLiveSample();

signals:
    void LinkChanged();
    // Presence() became `presence`.
    void PresenceChanged(base::TStationPresence presence);
    // A station was matched with access / the station went away.
    void StationConnected();
    void StationDisconnected();
    // A report's 64 bytes are in Station.ReportImage (before it goes on as a block or a reading).
    void ReportTaken();
    // The one reading event: a readings report of the stream, decoded, at the moment it came.
    void Reading(const base::TStationReading& reading);
    // A download's or clear's report counted; the last one ends it.
    void HistoryProgressed(const THistoryProgress& progress);
    // A download or clear ended before its last report; the copy is as it was.
    void HistoryAbandoned(THistoryOperationKind kind, THistoryEnd how);
    // The archive was opened (Archive() may still be none: it could not be).
    void ArchiveOpened();
    // Something to tell the user about the archive (Russian); never empty.
    void ArchiveMessage(const QString& message);
    // A live sample went into the archive or not; a download was merged or not.
    void SampleWritten(bool ok, const QString& message);
    void DownloadMerged(const archive::TMergeResult& result, int skipped);

private:
    void SetLinkState(TLinkState state);
    void TellPresence();
    void WatchStream();
    void StreamAlive();
    void StreamSilent();
    void TakeHistoryReport();
    void HistoryStalled(THistoryOperationKind kind);
    void MergeDownload();
    void SampleReading(const base::TStationReading& reading);
    void StoreLiveSample(const archive::TSample& sample);
    void Tell(const QString& message);

    THidDeviceController* FController = nullptr;
    TClock FClock;
    TLinkState FLinkState = TLinkState::Disconnected;
    base::TStationPresence FPresence = base::TStationPresence::Disconnected;
    QString FReadError;
    std::uint32_t FSendError = 0;
    bool FStreamWanted = true; // the window opens on its readings page
    QTimer* FSilenceTimer = nullptr;
    std::unique_ptr<archive::TArchiveStore> FArchive;
    archive::TLiveSampler FLiveSampler;
    // Declared after the archive it reads, so gone before it.
    TArchiveUploadQueue FUploadQueue{nullptr};
    int FRecordsToImport = 0;
    bool FSampleFailureTold = false;
};
