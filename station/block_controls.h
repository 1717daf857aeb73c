// The controls every block of the «Публикация» page makes alike: named for the tests, lines of text
// that wrap and can be copied, and the red line that says why a value was refused.
#pragma once

#include <QAnyStringView>
#include <QLabel>
#include <QPalette>

template <class T>
T* Named(T* control, QAnyStringView name)
{
    control->setObjectName(name.toString());
    return control;
}

inline QLabel* WrappedLabel(QAnyStringView name)
{
    auto* label = Named(new QLabel, name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// Hidden until there is something to say.
inline QLabel* ProblemLine(QAnyStringView name)
{
    QLabel* label = WrappedLabel(name);
    QPalette problem = label->palette();
    problem.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(problem);
    label->hide();
    return label;
}
