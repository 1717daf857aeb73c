#include "gui/radio_group.h"

#include <QEvent>
#include <QRadioButton>
#include <algorithm>

namespace gui {

TRadioGroup::TRadioGroup(QWidget* parent)
    : QGroupBox(parent)
{
}

void TRadioGroup::SetItems(const QStringList& items)
{
    FUpdating = true;
    for (QRadioButton* button : FButtons)
        delete button;
    FButtons.clear();
    FItemIndex = -1;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(QStringLiteral("Item%1").arg(i));
        connect(button, &QRadioButton::toggled, this, [this, i](bool checked) { ButtonToggled(i, checked); });
        button->show();
        FButtons.push_back(button);
    }
    FUpdating = false;
    ArrangeButtons();
}

QStringList TRadioGroup::Items() const
{
    QStringList items;
    for (QRadioButton* button : FButtons)
        items << button->text();
    return items;
}

QRadioButton* TRadioGroup::Button(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return FButtons[static_cast<size_t>(index)];
}

void TRadioGroup::SetItemIndex(int value)
{
    value = std::clamp(value, -1, Count() - 1);
    FUpdating = true;
    if (value >= 0) {
        FButtons[static_cast<size_t>(value)]->setChecked(true);
    } else if (QRadioButton* checked = Button(FItemIndex)) {
        // An exclusive radio button refuses to be unchecked directly.
        checked->setAutoExclusive(false);
        checked->setChecked(false);
        checked->setAutoExclusive(true);
    }
    FItemIndex = value;
    FUpdating = false;
}

void TRadioGroup::ButtonToggled(int index, bool checked)
{
    if (!checked || FUpdating || index == FItemIndex)
        return;
    FItemIndex = index;
    emit Click();
}

void TRadioGroup::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    ArrangeButtons();
}

void TRadioGroup::changeEvent(QEvent* event)
{
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        ArrangeButtons();
}

void TRadioGroup::ArrangeButtons()
{
    if (FButtons.empty())
        return;
    // One column; the items share the room inside the frame evenly, the remainder split above
    // and below. The style says where the frame runs (below the caption or through it), so an
    // item never sits on its line.
    const QRect inside = contentsRect();
    const int count = Count();
    const int room = std::max(0, inside.height());
    const int itemHeight = std::max(1, room / count);
    const int top = inside.top() + (room % count) / 2;
    const int itemWidth = std::max(1, width() - 10);
    for (int i = 0; i < count; ++i)
        FButtons[static_cast<size_t>(i)]->setGeometry(8, top + i * itemHeight, itemWidth - 4, itemHeight);
}

} // namespace gui
