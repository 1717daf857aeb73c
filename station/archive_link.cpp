// The window's side of the weather archive the core keeps: the archive page once the archive is
// open, the page's news after a merged download or a written sample, and what went wrong told to
// the user without holding up anything else.
#include "archive/archive_period.h"
#include "gui/error_box.h"
#include "station/archive_page.h"
#include "station/main_form.h"

void TForm1::OpenArchive()
{
    Core.OpenArchive();
}

void TForm1::ShowArchiveOpened()
{
    if (ArchivePage1 == nullptr)
        CreateArchivePage();
    if (const std::optional<base::TQuantity> quantity = base::QuantityOfNumber(History.DiagramQuantity))
        ArchivePage1->SetQuantity(*quantity);
    ArchivePage1->SetStore(Core.Archive());
}

void TForm1::ShowDownloadMerged(const archive::TMergeResult& result, int skipped)
{
    if (result.Ok)
        ArchivePage1->SetLastMerge(archive::MergeSummaryText(result, skipped));
    // As the diagram after a download, the page turns to the newest day.
    ArchivePage1->ShowNewest();
}

void TForm1::ShowSampleWritten(bool ok)
{
    if (ok)
        ArchivePage1->Refresh();
}

void TForm1::ShowArchiveMessage(const QString& message)
{
    if (message.isEmpty() || Station.Closing == 1)
        return;
    gui::ShowErrorBoxLater(this, message);
}
