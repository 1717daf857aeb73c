// The window's side of publishing: the publishing had after the first picture (a module the
// programs load, see publishing_module.h) with its «Публикация» page, each streamed reading handed
// on, and the archive's queue for the weather networks' uploads. Where the publishing cannot be
// had, the page says why and the rest of the window works as ever.
#include "core/alarm_watch.h"
#include "gui/error_box.h"
#include "station/main_form.h"
#include "station/publishing_feed.h"

#include <QDir>
#include <QLabel>
#include <QVBoxLayout>
#include <cstdio>

namespace {

QString PublishingUnavailableText(const QString& problem)
{
    return QStringLiteral("Публикация недоступна: %1. Показания не отправляются ни на брокер MQTT, ни в погодные "
                          "сети; остальное в программе работает как обычно.")
        .arg(problem);
}

} // namespace

void TForm1::CreatePublishPage()
{
    TPublishingOpening opening = OpenPublishingModule();
    if (!opening.Module) {
        ShowPublishingUnavailable(opening.Problem);
        return;
    }
    PublishPage1 = opening.Module->CreatePage(TabSheet6, QDir::currentPath());
    PublishPage1->setGeometry(0, 0, TabSheet6->width(), TabSheet6->height());
    PublishPage1->show(); // with its tab, also when the window was up before the page was made
    Publishing = new TPublishingFeed(Core, std::move(opening.Module), this);
    const auto takeOutlook = [this] { Publishing->TakeOutlook(AlarmWatch->Outlook()); };
    takeOutlook();
    connect(AlarmWatch, &TAlarmWatch::OutlookChanged, this, takeOutlook);
    // As "meteostation.ini" is told of: once the window is up.
    if (const QString problem = Publishing->Module().SettingsFileProblem(); !problem.isEmpty())
        gui::ShowErrorBoxLater(this, problem);
}

void TForm1::ShowPublishingUnavailable(const QString& problem)
{
    const QString text = PublishingUnavailableText(problem);
    // Also for whoever started the program from a terminal.
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
    PublishUnavailableLabel = new QLabel(text, TabSheet6);
    PublishUnavailableLabel->setObjectName(QStringLiteral("PublishUnavailableLabel"));
    PublishUnavailableLabel->setWordWrap(true);
    PublishUnavailableLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PublishUnavailableLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* column = new QVBoxLayout(TabSheet6);
    column->setContentsMargins(8, 6, 8, 6);
    column->addWidget(PublishUnavailableLabel);
    PublishUnavailableLabel->show(); // with its tab, as the page would be
}

void TForm1::StartNetworkPublishing()
{
    if (Publishing != nullptr)
        Publishing->StartArchive();
}
