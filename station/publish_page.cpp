// The «Публикация» page's scrolling column of blocks; see publish_page.h.
#include "station/publish_page.h"

#include "gui/wheel_with_focus.h"

#include <QVBoxLayout>

TPublishPage::TPublishPage(QWidget* parent)
    : QScrollArea(parent)
{
    setObjectName(QStringLiteral("PublishPage"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("PublishColumn"));
    Column = new QVBoxLayout(content);
    Column->setContentsMargins(8, 6, 8, 6);
    Column->setSpacing(10);
    // What the blocks leave free stays below the last one.
    Column->addStretch(1);
    setWidget(content);
    // The page's colour shows through, as on the other pages.
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
}

void TPublishPage::AddBlock(QWidget* block)
{
    // The wheel scrolls the page rather than change a setting passing under the pointer.
    gui::WheelOnlyWithFocus(block);
    Column->insertWidget(Column->count() - 1, block);
}
