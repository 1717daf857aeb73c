// A one-line edit with a caption label above it. The widget's own geometry is the edit's; the
// label is a sibling in the same parent, kept just above the edit's left edge, and follows the
// edit's place, visibility and enabled state.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>

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

    // The edit's text, the same that Qt's text() gives. The text the edit already has is not set
    // again, so a page may give its texts with every report of the station.
    QString Text() const { return text(); }
    void SetText(const QString& value);
    void Clear();

protected:
    bool event(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void PlaceLabel();

    QPointer<QLabel> FLabel;
};

} // namespace gui
