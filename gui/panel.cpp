#include "gui/panel.h"

#include <QPainter>
#include <algorithm>

namespace gui {
namespace {

// Draws one bevel of the given width inside rect and shrinks rect by it. Each edge is a one-pixel
// filled strip (the raster engine fills these far faster than it draws lines, and the readings
// panels repaint with every report); the right and bottom edges go last and own the corners.
void DrawBevel(QPainter& painter, QRect& rect, TPanelBevel bevel, int width, const QPalette& palette)
{
    if (bevel == TPanelBevel::bvNone)
        return;
    const QColor light = palette.color(QPalette::Light);
    const QColor shadow = palette.color(QPalette::Dark);
    const QColor topLeft = bevel == TPanelBevel::bvRaised ? light : shadow;
    const QColor bottomRight = bevel == TPanelBevel::bvRaised ? shadow : light;
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        painter.fillRect(QRect(rect.left(), rect.top(), 1, rect.height()), topLeft);
        painter.fillRect(QRect(rect.left(), rect.top(), rect.width(), 1), topLeft);
        painter.fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), bottomRight);
        painter.fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), bottomRight);
        rect.adjust(1, 1, -1, -1);
    }
}

} // namespace

TPanel::TPanel(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
}

void TPanel::SetCaption(const QString& caption)
{
    if (caption == FCaption)
        return;
    FCaption = caption;
    update();
}

void TPanel::SetBevelOuter(TPanelBevel bevel)
{
    FBevelOuter = bevel;
    update();
}

void TPanel::SetBevelInner(TPanelBevel bevel)
{
    FBevelInner = bevel;
    update();
}

void TPanel::SetBevelWidth(int width)
{
    FBevelWidth = std::max(1, width);
    update();
}

QSize TPanel::sizeHint() const
{
    return QSize(185, 41);
}

void TPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QRect inside = rect();
    DrawBevel(painter, inside, FBevelOuter, FBevelWidth, palette());
    DrawBevel(painter, inside, FBevelInner, FBevelWidth, palette());
    if (FCaption.isEmpty() || inside.isEmpty())
        return;
    painter.setClipRect(inside);
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(inside, Qt::AlignCenter | Qt::TextSingleLine, FCaption);
}

} // namespace gui
