#include "gui/labeled_edit.h"

#include <QEvent>
#include <QLabel>

namespace gui {

TLabeledEdit::TLabeledEdit(QWidget* parent)
    : QLineEdit(parent)
    , FLabel(new QLabel(parent))
{
    FLabel->setTextFormat(Qt::PlainText);
    FLabel->setBuddy(this);
    PlaceLabel();
}

TLabeledEdit::~TLabeledEdit()
{
    delete FLabel.data();
}

QString TLabeledEdit::Caption() const
{
    return FLabel ? FLabel->text() : QString();
}

void TLabeledEdit::SetCaption(const QString& caption)
{
    if (!FLabel)
        return;
    FLabel->setText(caption);
    FLabel->adjustSize();
    PlaceLabel();
}

void TLabeledEdit::SetText(const QString& value)
{
    if (value != text())
        setText(value);
}

void TLabeledEdit::Clear()
{
    clear();
}

void TLabeledEdit::PlaceLabel()
{
    if (!FLabel)
        return;
    FLabel->adjustSize();
    FLabel->move(x(), y() - FLabel->height() - LabelSpacing);
}

bool TLabeledEdit::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange && FLabel) {
        FLabel->setParent(parentWidget());
        FLabel->setVisible(parentWidget() && isVisibleTo(parentWidget()));
        PlaceLabel();
    }
    const bool handled = QLineEdit::event(event);
    if (FLabel && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
        FLabel->setVisible(event->type() == QEvent::ShowToParent);
    return handled;
}

void TLabeledEdit::moveEvent(QMoveEvent* event)
{
    QLineEdit::moveEvent(event);
    PlaceLabel();
}

void TLabeledEdit::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    if (!FLabel)
        return;
    if (event->type() == QEvent::EnabledChange)
        FLabel->setEnabled(isEnabled());
    else if (event->type() == QEvent::FontChange)
        PlaceLabel();
}

} // namespace gui
