// A page control: a row of tabs over a framed area that shows one page at a time. Change is
// announced only after the user has selected another page; the program's SetActivePageIndex
// says nothing.
#pragma once

#include <QWidget>
#include <vector>

class QTabBar;

namespace gui {

class TPageControl : public QWidget
{
    Q_OBJECT

public:
    explicit TPageControl(QWidget* parent = nullptr);

    // Adds a page (a tab sheet) with the given object name and tab caption and returns it; its
    // children are placed in page coordinates.
    QWidget* AddPage(const QString& name, const QString& caption);
    int PageCount() const { return static_cast<int>(FPages.size()); }
    QWidget* Page(int index) const;

    // -1 while there are no pages.
    int ActivePageIndex() const;
    // Out-of-range indexes are ignored.
    void SetActivePageIndex(int index);

    QTabBar* TabBar() const { return FTabBar; }
    // Where pages sit inside the control.
    QRect PageRect() const;

signals:
    void Change();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowPage(int index);
    void Arrange();

    QTabBar* FTabBar;
    std::vector<QWidget*> FPages;
    bool FUpdating = false;
};

} // namespace gui
