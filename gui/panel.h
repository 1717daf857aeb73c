// A panel: a plain surface with an outer and an inner bevel (raised, lowered or none) and a
// caption centred in what the bevels leave.
#pragma once

#include <QString>
#include <QWidget>

namespace gui {

enum class TPanelBevel { bvNone, bvLowered, bvRaised };

class TPanel : public QWidget
{
    Q_OBJECT

public:
    explicit TPanel(QWidget* parent = nullptr);

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    TPanelBevel BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TPanelBevel bevel);
    TPanelBevel BevelInner() const { return FBevelInner; }
    void SetBevelInner(TPanelBevel bevel);
    int BevelWidth() const { return FBevelWidth; }
    // At least 1.
    void SetBevelWidth(int width);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
    TPanelBevel FBevelOuter = TPanelBevel::bvRaised;
    TPanelBevel FBevelInner = TPanelBevel::bvNone;
    int FBevelWidth = 1;
};

} // namespace gui
