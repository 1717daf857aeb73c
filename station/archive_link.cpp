// The window's side of the weather archive: opening it at start-up with the first start's import
// of the copy from "met.mtb", merging every complete download and keeping when it ended, sampling
// the streamed readings, and telling the user what went wrong without holding up anything else.
#include "archive/archive_period.h"
#include "gui/error_box.h"
#include "station/archive_page.h"
#include "station/archive_records.h"
#include "station/desktop_side.h"
#include "station/history_file.h"
#include "station/main_form.h"

namespace {

// When the last complete download ended, in UTC, ISO 8601: the archive outlives every run and is
// where each download is merged, while "met.mtb" has no room for it.
const QString LastDownloadSetting = QStringLiteral("last complete download");

} // namespace

void TForm1::OpenArchive()
{
    if (Archive)
        return;
    CreateArchivePage();
    Archive = std::make_unique<archive::TArchiveStore>(archive::ArchiveFileName);
    ShowArchiveMessage(Archive->Notice());
    if (Archive->IsOpen() && FRecordsToImport > 0 && !Archive->Imported()) {
        // The copy the user already had enters the archive once, also when "met.mtb" was cut or
        // damaged: what the window shows of it is never lost. An empty one waits for a real one.
        const TImageHours hours = ArchiveHoursOfImage(FirstRecords(History.HistoryImage, FRecordsToImport));
        if (!hours.Hours.empty())
            ShowArchiveMessage(Archive->Import(hours.Hours).Message);
    }
    if (Archive->IsOpen()) {
        const QDateTime last = QDateTime::fromString(Archive->Setting(LastDownloadSetting), Qt::ISODate);
        // A download of this run that ended before the archive was opened is the later one.
        if (last.isValid() && !History.LastCompleteDownload.isValid())
            History.LastCompleteDownload = last.toLocalTime();
    }
    if (const std::optional<base::TQuantity> quantity = base::QuantityOfNumber(History.DiagramQuantity))
        ArchivePage1->SetQuantity(*quantity);
    ArchivePage1->SetStore(Archive->IsOpen() ? Archive.get() : nullptr);
}

void TForm1::ArchiveDownload()
{
    OpenArchive();
    if (!Archive->IsOpen())
        return;
    const TImageHours hours = ArchiveHoursOfImage(History.HistoryImage);
    const archive::TMergeResult result = Archive->Merge(hours.Hours);
    ShowArchiveMessage(result.Message);
    if (result.Ok && History.LastCompleteDownload.isValid()) {
        // A failed merge has said what is wrong with the archive already.
        const QString last = History.LastCompleteDownload.toUTC().toString(Qt::ISODate);
        ShowArchiveMessage(Archive->SetSetting(LastDownloadSetting, last).Message);
    }
    Desktop->TakeArchiveResult(result.Ok, result.Message);
    if (result.Ok)
        ArchivePage1->SetLastMerge(archive::MergeSummaryText(result, hours.Skipped));
    // As the diagram after a download, the page turns to the newest day.
    ArchivePage1->ShowNewest();
}

void TForm1::SampleReadings(const QDateTime& time, const archive::TReading& reading)
{
    if (const std::optional<archive::TSample> sample = LiveSampler.Add(time, reading))
        StoreLiveSample(*sample);
}

void TForm1::FlushLiveSample()
{
    if (const std::optional<archive::TSample> sample = LiveSampler.Flush())
        StoreLiveSample(*sample);
}

void TForm1::StoreLiveSample(const archive::TSample& sample)
{
    OpenArchive();
    if (!Archive->IsOpen())
        return;
    const archive::TWriteResult result = Archive->AddSample(sample);
    Desktop->TakeArchiveResult(result.Ok, result.Message);
    if (!result.Ok) {
        // Said once, not every 5 minutes, until a sample goes in again.
        if (!FSampleFailureShown)
            ShowArchiveMessage(result.Message);
        FSampleFailureShown = true;
        return;
    }
    FSampleFailureShown = false;
    ShowArchiveMessage(result.Message);
    ArchivePage1->Refresh();
}

void TForm1::ShowArchiveMessage(const QString& message)
{
    if (message.isEmpty() || Station.Closing == 1)
        return;
    gui::ShowErrorBoxLater(this, message);
}
