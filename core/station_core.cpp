// The station application without a window; see station_core.h.
#include "core/station_core.h"

#include "core/archive_records.h"
#include "core/report_reading.h"
#include "hid/device_controller.h"
#include "protocol/station_identity.h"

#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// When the last complete download ended, in UTC, ISO 8601: the archive outlives every run and is
// where each download is merged, while "met.mtb" has no room for it.
const QString LastDownloadSetting = QStringLiteral("last complete download");

} // namespace

TStationCore::TStationCore(hidplatform::Platform& platform, QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("StationCore"));
    HistoryOperation.SetStallHandler([this](THistoryOperationKind kind) { HistoryStalled(kind); });
    FSilenceTimer = new QTimer(this);
    FSilenceTimer->setObjectName(QStringLiteral("StreamSilenceTimer"));
    FSilenceTimer->setSingleShot(true);
    FSilenceTimer->setInterval(DefaultStreamSilenceTimeoutMs);
    connect(FSilenceTimer, &QTimer::timeout, this, &TStationCore::StreamSilent);

    FController = new THidDeviceController(this, platform);
    FController->setObjectName(QStringLiteral("HidDeviceController1"));
    FController->SetDevThreadSleepTime(1);
    FController->SetOnArrival(THidPlugEvent::Bind<&TStationCore::TakeArrival>(this));
    FController->SetOnEnumerate(THidEnumerateEvent::Bind<&TStationCore::TakeEnumerate>(this));
    FController->SetOnDeviceData(THidDataEvent::Bind<&TStationCore::TakeDeviceData>(this));
    FController->SetOnDeviceDataError(THidDataErrorEvent::Bind<&TStationCore::TakeDataError>(this));
    FController->SetOnDeviceUnplug(THidPlugEvent::Bind<&TStationCore::TakeUnplug>(this));
}

TStationCore::~TStationCore()
{
    // The controller goes while the core is still whole: it unplugs the devices still checked out
    // (a station a later one took over from), and their unplug handler is the core's.
    ReleaseStation();
    delete FController;
    FController = nullptr;
}

void TStationCore::SetClock(TClock clock)
{
    FClock = std::move(clock);
}

QDateTime TStationCore::Now() const
{
    if (FClock) {
        const QDateTime now = FClock();
        if (now.isValid())
            return now;
    }
    return QDateTime::currentDateTime();
}

// ---- Start and close ----

THistoryLoadResult TStationCore::LoadHistory()
{
    Station.ReportImage.fill(NoValue);
    Station.Closing = 0;
    Station.HistoryComplete = 1;
    Station.DownloadActive = 0;
    Station.ClearActive = 0;
    Station.ReadCodeRequest = 0;
    Station.ClearCodeRequest = 0;
    Station.SettingsLive = 0;
    const THistoryLoadResult loaded = LoadHistoryFile(History);
    // A copy that stopped on a bad pair, ended early or could not be read must not replace the
    // user's file: it is saved again only after a complete download. The program works on what was
    // read all the same.
    Station.HistoryComplete = loaded.ImageComplete() ? 1 : 0;
    // The archive is opened later (its first picture shows nothing of it), or sooner by whatever
    // needs it first, a close included: no run leaves its folder otherwise.
    FRecordsToImport = loaded.RecordsRead;
    return loaded;
}

void TStationCore::StartLink()
{
    FController->Loaded();
}

void TStationCore::BeginClose()
{
    Station.Closing = 1;
    WatchStream();
    SendCommand(TCommandCode::Quiet);
    // A close before the rest of the start still leaves the copy imported and the last sample kept.
    OpenArchive();
    FlushLiveSample();
}

void TStationCore::ResumeAfterClose()
{
    if (FStreamWanted)
        SendCommand(TCommandCode::StreamReadings);
    WatchStream();
}

void TStationCore::SaveHistoryCopy()
{
    if (Station.HistoryComplete != 1)
        return;
    // A file that holds the copy already is left alone: nothing to write, and nothing to fail in a
    // folder that cannot be written.
    if (HistoryFileHolds(HistoryFileBytes(History.HistoryImage, History.DiagramQuantity)))
        return;
    SaveHistoryFile(History);
}

void TStationCore::ReleaseStation()
{
    delete Station.StationDevice;
    Station.StationDevice = nullptr;
}

// ---- The link ----

bool TStationCore::TakeEnumerate(THidDevice* device, int /*index*/)
{
    if (!IsStationIdentity(device->QueryProductName(), device->VendorID(), device->ProductID()))
        return true;
    Station.StationDevice = device;
    device->CheckOut();
    if (!device->ReadWriteGranted()) {
        SetLinkState(TLinkState::NoAccess);
        return true;
    }
    TakeStationMatch();
    return true;
}

void TStationCore::TakeArrival(THidDevice* /*device*/)
{
    FController->EnumerateDevices();
}

void TStationCore::TakeStationMatch()
{
    SetLinkState(TLinkState::Connected);
    // A match during a download or clear (any HID device's arrival repeats it) leaves the operation
    // alone: code 1 would stop the station's transfer.
    if (!HistoryOperation.Running()) {
        SendCommand(TCommandCode::StreamReadings);
        WatchStream();
    }
    emit StationConnected();
}

void TStationCore::TakeDeviceData(THidDevice* device, std::uint8_t /*reportId*/, const std::uint8_t* data,
                                  std::uint16_t size)
{
    // During a download or clear only its own station's reports are blocks or progress: readings of
    // an earlier station that is still streaming would take their place in the copy.
    if (!HistoryOperation.TakesReportsFrom(device))
        return;
    // Every report of the station carries 64 data bytes. A shorter one is damaged: taken in, its
    // missing tail would be the previous report's, a readings mix-up or a history block half of the
    // block before. A longer one has been cut to what the station declares.
    if (data == nullptr || size < ReportImageSize) {
        if (HistoryOperation.Running())
            HistoryOperation.NoteDamagedReport();
        return;
    }
    StreamAlive();
    TakeReport(data, size);
}

void TStationCore::TakeReport(const std::uint8_t* bytes, std::uint16_t size)
{
    const std::size_t count = bytes ? std::min<std::size_t>(size, ReportImageSize) : 0;
    if (count > 0)
        std::memcpy(Station.ReportImage.data(), bytes, count);
    emit ReportTaken();
    if (HistoryOperation.Running()) {
        TakeHistoryReport();
        return;
    }
    if (!FStreamWanted)
        return;
    // One reading of the report, at one moment, for every subscriber alike.
    const base::TStationReading reading = ReadingOfReport(Station.ReportImage, Now());
    SampleReading(reading);
    emit Reading(reading);
}

void TStationCore::TakeUnplug(THidDevice* device)
{
    // The loss of its station ends a download or clear at once; the stall time-out is for a station
    // that stays but falls silent.
    const bool endsHistoryOperation = device == HistoryOperation.Device() || device == Station.StationDevice;
    if (endsHistoryOperation && HistoryOperation.Running())
        emit HistoryAbandoned(HistoryOperation.Abandon(), THistoryEnd::Unplugged);
    if (device != Station.StationDevice) {
        // An earlier station that a later match took over from: still ours, so let it go here, or
        // its read thread would go on failing on a device that is gone. The current station stays.
        if (device->CheckedOut())
            delete device;
        return;
    }
    ReleaseStation();
    TakeStationGone();
}

void TStationCore::TakeStationGone()
{
    SetLinkState(TLinkState::Disconnected);
    FlushLiveSample();
    WatchStream();
    emit StationDisconnected();
}

void TStationCore::TakeDataError(THidDevice* device, std::uint32_t error)
{
    // The link speaks of the current station; a station taken over from that has just been
    // unplugged fails its reads until the rescan lets it go.
    if (device != Station.StationDevice)
        return;
    TakeReadError(QString::fromStdString(FController->Platform().ErrorText(error)));
}

void TStationCore::TakeReadError(const QString& systemMessage)
{
    FReadError = systemMessage;
    FLinkState = TLinkState::ReadError;
    emit LinkChanged();
    TellPresence();
}

void TStationCore::SetLinkState(TLinkState state)
{
    FLinkState = state;
    emit LinkChanged();
    TellPresence();
}

base::TStationPresence TStationCore::Presence() const
{
    if (FLinkState == TLinkState::Disconnected)
        return base::TStationPresence::Disconnected;
    return FLinkState == TLinkState::Connected && FStreamWanted ? base::TStationPresence::Connected
                                                                : base::TStationPresence::NoData;
}

void TStationCore::TellPresence()
{
    const base::TStationPresence presence = Presence();
    if (presence == FPresence)
        return;
    FPresence = presence;
    emit PresenceChanged(presence);
}

bool TStationCore::SendCommand(TCommandCode code)
{
    Station.SetCommandCode(code);
    return SendReport();
}

bool TStationCore::SendReport()
{
    FSendError = 0;
    THidDevice* device = Station.StationDevice;
    if (device == nullptr)
        return false;
    Station.ReportImage[OutField::ReportId] = OutReportId;
    THidCaps caps;
    device->QueryCaps(caps);
    const std::uint32_t length = caps.OutputReportByteLength;
    if (length == 0) {
        FSendError = EINVAL;
        return false;
    }
    // A station with a longer output report gets zeros beyond the image rather than whatever lies
    // behind it in memory.
    std::vector<std::uint8_t> report(std::max<std::size_t>(length, ReportImageSize), 0);
    std::copy(Station.ReportImage.begin(), Station.ReportImage.end(), report.begin());
    std::uint32_t written = 0;
    if (!device->WriteReport(report.data(), length, written)) {
        // The platform keeps the error per thread, and this is the thread that wrote.
        FSendError = FController->Platform().LastError();
        if (FSendError == 0)
            FSendError = EIO;
        return false;
    }
    if (written != length) {
        FSendError = EIO;
        return false;
    }
    return true;
}

QString TStationCore::SendErrorText() const
{
    return QString::fromStdString(FController->Platform().ErrorText(FSendError));
}

void TStationCore::SetStreamWanted(bool wanted)
{
    FStreamWanted = wanted;
    if (!wanted)
        FlushLiveSample();
    // Byte 19 is always set, so a history download or clear can never be repeated by this command.
    SendCommand(wanted ? TCommandCode::StreamReadings : TCommandCode::Quiet);
    WatchStream();
    TellPresence();
}

void TStationCore::SetStreamSilenceTimeout(int ms)
{
    FSilenceTimer->setInterval(std::max(ms, 1));
    WatchStream();
}

void TStationCore::WatchStream()
{
    const bool streaming = Station.StationDevice != nullptr && Station.Closing != 1 && FStreamWanted;
    if (streaming)
        FSilenceTimer->start();
    else
        FSilenceTimer->stop();
}

void TStationCore::StreamAlive()
{
    if (FLinkState == TLinkState::Silent)
        SetLinkState(TLinkState::Connected);
    WatchStream();
}

void TStationCore::StreamSilent()
{
    // A read error or a station without access says more than the silence does.
    if (FLinkState == TLinkState::Connected)
        SetLinkState(TLinkState::Silent);
}

// ---- The history ----

bool TStationCore::StartHistoryOperation(THistoryOperationKind kind)
{
    if (Station.StationDevice == nullptr || HistoryOperation.Running())
        return false;
    HistoryOperation.Start(kind, Station.StationDevice);
    Station.SetCommandCode(kind == THistoryOperationKind::Download ? TCommandCode::DownloadHistory
                                                                   : TCommandCode::ClearHistory);
    if (!SendReport()) {
        // The station was never asked, so nothing would ever answer.
        HistoryOperation.Abandon();
        return false;
    }
    return true;
}

void TStationCore::TakeHistoryReport()
{
    const THistoryProgress progress = HistoryOperation.TakeReport(Station.ReportImage.data());
    if (progress.Kind == THistoryOperationKind::None)
        return;
    const bool downloaded = progress.Finished && progress.Kind == THistoryOperationKind::Download;
    if (downloaded)
        History.LastCompleteDownload = Now();
    emit HistoryProgressed(progress);
    if (downloaded)
        MergeDownload();
}

void TStationCore::HistoryStalled(THistoryOperationKind kind)
{
    // Reports kept coming, only none of them whole: the station is not silent, and says so.
    const bool damaged = HistoryOperation.DamagedReportsSinceLastBlock();
    HistoryOperation.Abandon();
    // Should the station wake up, the rest of its transfer is not wanted.
    if (Station.StationDevice != nullptr)
        SendCommand(TCommandCode::Quiet);
    emit HistoryAbandoned(kind, damaged ? THistoryEnd::DamagedReports : THistoryEnd::Stalled);
}

QString TStationCore::ScanHistory()
{
    return ::ScanHistory(History, Now().date());
}

// ---- The archive ----

void TStationCore::OpenArchive()
{
    if (FArchive)
        return;
    FArchive = std::make_unique<archive::TArchiveStore>(archive::ArchiveFileName);
    Tell(FArchive->Notice());
    if (FArchive->IsOpen() && FRecordsToImport > 0 && !FArchive->Imported()) {
        // The copy the user already had enters the archive once, also when "met.mtb" was cut or
        // damaged: what the window shows of it is never lost. An empty one waits for a real one.
        const TImageHours hours = ArchiveHoursOfImage(FirstRecords(History.HistoryImage, FRecordsToImport));
        if (!hours.Hours.empty())
            Tell(FArchive->Import(hours.Hours).Message);
    }
    if (FArchive->IsOpen()) {
        const QDateTime last = QDateTime::fromString(FArchive->Setting(LastDownloadSetting), Qt::ISODate);
        // A download of this run that ended before the archive was opened is the later one.
        if (last.isValid() && !History.LastCompleteDownload.isValid())
            History.LastCompleteDownload = last.toLocalTime();
    }
    FUploadQueue.SetStore(Archive());
    emit ArchiveOpened();
}

archive::TArchiveStore* TStationCore::Archive() const
{
    return FArchive && FArchive->IsOpen() ? FArchive.get() : nullptr;
}

void TStationCore::MergeDownload()
{
    OpenArchive();
    if (!FArchive->IsOpen())
        return;
    const TImageHours hours = ArchiveHoursOfImage(History.HistoryImage);
    const archive::TMergeResult result = FArchive->Merge(hours.Hours);
    Tell(result.Message);
    if (result.Ok && History.LastCompleteDownload.isValid()) {
        // A failed merge has said what is wrong with the archive already.
        const QString last = History.LastCompleteDownload.toUTC().toString(Qt::ISODate);
        Tell(FArchive->SetSetting(LastDownloadSetting, last).Message);
    }
    emit DownloadMerged(result, hours.Skipped);
}

void TStationCore::SampleReading(const base::TStationReading& reading)
{
    if (const std::optional<archive::TSample> sample = FLiveSampler.Add(reading))
        StoreLiveSample(*sample);
}

void TStationCore::FlushLiveSample()
{
    if (const std::optional<archive::TSample> sample = FLiveSampler.Flush())
        StoreLiveSample(*sample);
}

void TStationCore::StoreLiveSample(const archive::TSample& sample)
{
    OpenArchive();
    if (!FArchive->IsOpen())
        return;
    const archive::TWriteResult result = FArchive->AddSample(sample);
    if (!result.Ok) {
        // Told once, not every 5 minutes, until a sample goes in again.
        if (!FSampleFailureTold)
            Tell(result.Message);
        FSampleFailureTold = true;
    } else {
        FSampleFailureTold = false;
        Tell(result.Message);
    }
    emit SampleWritten(result.Ok, result.Message);
}

void TStationCore::Tell(const QString& message)
{
    if (!message.isEmpty())
        emit ArchiveMessage(message);
}
