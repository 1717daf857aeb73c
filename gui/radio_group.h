// A titled frame holding one column of radio items. ItemIndex is the checked item, -1 for none.
// Click is announced only when the user checks another item; the program's changes of
// ItemIndex (including -1, which clears the selection) say nothing.
#pragma once

#include <QGroupBox>
#include <QStringList>
#include <vector>

class QRadioButton;

namespace gui {

class TRadioGroup : public QGroupBox
{
    Q_OBJECT

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    // Replaces the items; the selection is cleared.
    void SetItems(const QStringList& items);
    QStringList Items() const;
    int Count() const { return static_cast<int>(FButtons.size()); }
    QRadioButton* Button(int index) const;

    int ItemIndex() const { return FItemIndex; }
    // Values below -1 count as -1, values past the last item select the last item.
    void SetItemIndex(int value);

signals:
    void Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ArrangeButtons();
    void ButtonToggled(int index, bool checked);

    std::vector<QRadioButton*> FButtons;
    int FItemIndex = -1;
    bool FUpdating = false;
};

} // namespace gui
