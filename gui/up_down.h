// A horizontal up-down: two arrow buttons side by side, the left one lowers the position by the
// increment and the right one raises it. Only a press of the user that changes the position is
// announced (Click), and by then the position already holds its new value; a press at an end of
// the range that leaves the position as it was, and any change made by the program, say nothing.
#pragma once

#include <QWidget>

class QToolButton;

namespace gui {

// Which arrow a click came from: btNext raises the position, btPrev lowers it.
enum class TUDBtnType { btNext, btPrev };

class TUpDown : public QWidget
{
    Q_OBJECT

public:
    explicit TUpDown(QWidget* parent = nullptr);

    int Min() const { return FMin; }
    int Max() const { return FMax; }
    // Changing one end drags the other along when they would cross; the position stays inside.
    void SetMin(int value);
    void SetMax(int value);
    int Position() const { return FPosition; }
    // Clamped into Min..Max. No click notice.
    void SetPosition(int value);
    int Increment() const { return FIncrement; }
    void SetIncrement(int value);
    bool Wrap() const { return FWrap; }
    void SetWrap(bool value) { FWrap = value; }

    QToolButton* LeftButton() const { return FLeft; }
    QToolButton* RightButton() const { return FRight; }

    QSize sizeHint() const override;

signals:
    void Click(gui::TUDBtnType button);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // One user press; announces it only when the position changed.
    void Press(TUDBtnType button);

    QToolButton* FLeft;
    QToolButton* FRight;
    int FMin = 0;
    int FMax = 100;
    int FPosition = 0;
    int FIncrement = 1;
    bool FWrap = false;
};

} // namespace gui
