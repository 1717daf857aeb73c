#include "gui/after_first_paint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace gui {
namespace {

// Watches the application's paint events until one belongs to the window; every widget of the
// window paints through its own event, so the window's filter alone would miss a child's.
class TFirstPaintWatch : public QObject
{
public:
    TFirstPaintWatch(QWidget* window, std::function<void()> work)
        : QObject(window)
        , Window(window)
        , Work(std::move(work))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Paint || !watched->isWidgetType() ||
            static_cast<QWidget*>(watched)->window() != Window)
            return false;
        QCoreApplication::instance()->removeEventFilter(this);
        // Queued, so the paint in progress is finished and flushed first; owned by the window, so
        // a window that goes first takes the work with it.
        QMetaObject::invokeMethod(
            this,
            [this] {
                const std::function<void()> work = std::move(Work);
                deleteLater();
                work();
            },
            Qt::QueuedConnection);
        return false;
    }

private:
    QWidget* Window;
    std::function<void()> Work;
};

} // namespace

void AfterFirstPaint(QWidget* window, std::function<void()> work)
{
    new TFirstPaintWatch(window, std::move(work));
}

} // namespace gui
