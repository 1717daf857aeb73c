// Counts the paint events one widget receives, for checks and benchmarks of how often it repaints.
#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

class TPaintCounter : public QObject
{
public:
    explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};
