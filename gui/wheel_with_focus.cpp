// The wheel taken by a settings control only while it has the focus; see wheel_with_focus.h.
#include "gui/wheel_with_focus.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>

namespace gui {
namespace {

class TWheelWithFocus : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
            return false;
        // Left unaccepted, the wheel goes on to the control's parents, up to the scrolling page.
        event->ignore();
        return true;
    }
};

bool TakesTheWheel(const QWidget* widget)
{
    return qobject_cast<const QAbstractSpinBox*>(widget) || qobject_cast<const QComboBox*>(widget) ||
        (qobject_cast<const QAbstractSlider*>(widget) && !qobject_cast<const QScrollBar*>(widget));
}

} // namespace

void WheelOnlyWithFocus(QWidget* within)
{
    auto* filter = new TWheelWithFocus(within);
    for (QWidget* widget : within->findChildren<QWidget*>()) {
        if (!TakesTheWheel(widget))
            continue;
        widget->setFocusPolicy(Qt::StrongFocus);
        widget->installEventFilter(filter);
    }
}

} // namespace gui
