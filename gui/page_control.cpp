#include "gui/page_control.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <algorithm>

namespace gui {
namespace {

// The tab row keeps a fixed height, so page coordinates do not depend on the style or font.
constexpr int TabRowHeight = 22;
constexpr int PageTop = TabRowHeight + 2;
constexpr int PageMargin = 4;

} // namespace

TPageControl::TPageControl(QWidget* parent)
    : QWidget(parent)
    , FTabBar(new QTabBar(this))
{
    FTabBar->setObjectName(QStringLiteral("Tabs"));
    FTabBar->setDrawBase(false);
    FTabBar->setExpanding(false);
    FTabBar->setUsesScrollButtons(true);
    connect(FTabBar, &QTabBar::currentChanged, this, [this](int index) {
        ShowPage(index);
        if (!FUpdating)
            emit Change();
    });
}

QWidget* TPageControl::AddPage(const QString& name, const QString& caption)
{
    auto* page = new QWidget(this);
    page->setObjectName(name);
    FPages.push_back(page);
    FUpdating = true;
    FTabBar->addTab(caption);
    FUpdating = false;
    Arrange();
    ShowPage(FTabBar->currentIndex());
    return page;
}

QWidget* TPageControl::Page(int index) const
{
    if (index < 0 || index >= PageCount())
        return nullptr;
    return FPages[static_cast<size_t>(index)];
}

int TPageControl::ActivePageIndex() const
{
    return FTabBar->currentIndex();
}

void TPageControl::SetActivePageIndex(int index)
{
    if (index < 0 || index >= PageCount())
        return;
    FUpdating = true;
    FTabBar->setCurrentIndex(index);
    FUpdating = false;
}

QRect TPageControl::PageRect() const
{
    return QRect(PageMargin, PageTop, std::max(0, width() - 2 * PageMargin),
                 std::max(0, height() - PageTop - PageMargin));
}

void TPageControl::ShowPage(int index)
{
    for (int i = 0; i < PageCount(); ++i)
        FPages[static_cast<size_t>(i)]->setVisible(i == index);
}

void TPageControl::Arrange()
{
    FTabBar->setGeometry(2, 2, std::max(0, width() - 4), TabRowHeight);
    for (QWidget* page : FPages)
        page->setGeometry(PageRect());
}

void TPageControl::resizeEvent(QResizeEvent*)
{
    Arrange();
}

void TPageControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = QRect(0, TabRowHeight + 1, width(), height() - TabRowHeight - 1);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = FTabBar->sizeHint();
    frame.tabBarRect = FTabBar->geometry();
    frame.selectedTabRect = FTabBar->tabRect(FTabBar->currentIndex()).translated(FTabBar->pos());
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &painter, this);
}

} // namespace gui
