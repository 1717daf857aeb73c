// A one-line edit with a caption label above it. The widget's own geometry is the edit's; the
// label is a sibling in the same parent, kept just above the edit's left edge, and follows the
// edit's place, visibility and enabled state.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <optional>

namespace gui {

class TLabeledEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TLabeledEdit(QWidget* parent = nullptr);
    ~TLabeledEdit() override;

    QLabel* EditLabel() const { return FLabel; }
    QString Caption() const;
    void SetCaption(const QString& caption);
    // Pixels between the label's bottom and the edit's top.
    static constexpr int LabelSpacing = 3;

    // The edit's text. A text given while the edit is hidden is the edit's text at once (Text()
    // returns it), but the edit lays it out only once it is shown or painted: a settings page
    // behind another page follows every report of the station without laying out texts nobody
    // sees. The text the edit already has is not set again.
    QString Text() const { return FHiddenText ? *FHiddenText : text(); }
    void SetText(const QString& value);
    void Clear();

protected:
    bool event(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void PlaceLabel();
    // The text given while hidden, laid out now.
    void TakeHiddenText();

    QPointer<QLabel> FLabel;
    std::optional<QString> FHiddenText; // given while hidden, not laid out yet
};

} // namespace gui
