#include "gui/up_down.h"

#include <QKeyEvent>
#include <QToolButton>
#include <algorithm>

namespace gui {

TUpDown::TUpDown(QWidget* parent)
    : QWidget(parent)
    , FLeft(new QToolButton(this))
    , FRight(new QToolButton(this))
{
    for (QToolButton* button : {FLeft, FRight}) {
        // Holding an arrow steps on, as a spinner does; the widget itself takes the keyboard focus.
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    FLeft->setArrowType(Qt::LeftArrow);
    FRight->setArrowType(Qt::RightArrow);
    FLeft->setObjectName(QStringLiteral("LeftArrow"));
    FRight->setObjectName(QStringLiteral("RightArrow"));
    setFocusPolicy(Qt::StrongFocus);
    connect(FLeft, &QToolButton::clicked, this, [this] { Press(TUDBtnType::btPrev); });
    connect(FRight, &QToolButton::clicked, this, [this] { Press(TUDBtnType::btNext); });
}

void TUpDown::SetMin(int value)
{
    FMin = value;
    FMax = std::max(FMax, FMin);
    SetPosition(FPosition);
}

void TUpDown::SetMax(int value)
{
    FMax = value;
    FMin = std::min(FMin, FMax);
    SetPosition(FPosition);
}

void TUpDown::SetPosition(int value)
{
    FPosition = std::clamp(value, FMin, FMax);
}

void TUpDown::SetIncrement(int value)
{
    FIncrement = value;
}

QSize TUpDown::sizeHint() const
{
    return QSize(34, 17);
}

void TUpDown::resizeEvent(QResizeEvent*)
{
    const int half = width() / 2;
    FLeft->setGeometry(0, 0, half, height());
    FRight->setGeometry(half, 0, width() - half, height());
}

void TUpDown::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Left:
        Press(TUDBtnType::btPrev);
        break;
    case Qt::Key_Right:
        Press(TUDBtnType::btNext);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TUpDown::Press(TUDBtnType button)
{
    if (!isEnabled())
        return;
    // Wide arithmetic: a large increment must not overflow past the ends.
    const long long step = button == TUDBtnType::btNext ? FIncrement : -static_cast<long long>(FIncrement);
    long long next = static_cast<long long>(FPosition) + step;
    if (next > FMax)
        next = FWrap ? FMin : FMax;
    else if (next < FMin)
        next = FWrap ? FMax : FMin;
    if (next == FPosition)
        return;
    FPosition = static_cast<int>(next);
    emit Click(button);
}

} // namespace gui
