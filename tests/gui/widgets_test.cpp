// The toolkit controls under real mouse and key input.
#include "gui/font_substitutes.h"
#include "gui/labeled_edit.h"
#include "gui/page_control.h"
#include "gui/panel.h"
#include "gui/qt_texts.h"
#include "gui/radio_group.h"
#include "gui/up_down.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace gui;

namespace {

struct UpDownFixture : ::testing::Test
{
    QWidget Window;
    TUpDown* UpDown = new TUpDown(&Window);
    std::vector<int> Seen; // positions seen by the click handler
    std::vector<TUDBtnType> Buttons;

    void SetUp() override
    {
        UpDown->setGeometry(0, 0, 75, 17);
        UpDown->SetMin(0);
        UpDown->SetMax(3);
        UpDown->SetPosition(1);
        QObject::connect(UpDown, &TUpDown::Click, [this](TUDBtnType b) {
            Seen.push_back(UpDown->Position());
            Buttons.push_back(b);
        });
        Window.show();
    }
    void Right() { QTest::mouseClick(UpDown->RightButton(), Qt::LeftButton); }
    void Left() { QTest::mouseClick(UpDown->LeftButton(), Qt::LeftButton); }
};

TEST_F(UpDownFixture, ArrowsStepAndAnnounceOnlyRealChanges)
{
    EXPECT_LT(UpDown->LeftButton()->x(), UpDown->RightButton()->x());
    Right();
    Right();
    Right(); // at the end: nothing
    Left();
    EXPECT_EQ(Seen, (std::vector<int>{2, 3, 2}));
    EXPECT_EQ(Buttons, (std::vector<TUDBtnType>{TUDBtnType::btNext, TUDBtnType::btNext, TUDBtnType::btPrev}));
    Left();
    Left();
    Left();
    EXPECT_EQ(UpDown->Position(), 0);
    EXPECT_EQ(Seen.size(), 5u);
}

TEST_F(UpDownFixture, WrapRunsFromOneEndToTheOther)
{
    UpDown->SetWrap(true);
    UpDown->SetPosition(3);
    Right();
    EXPECT_EQ(UpDown->Position(), 0);
    Left();
    EXPECT_EQ(UpDown->Position(), 3);
    EXPECT_EQ(Seen, (std::vector<int>{0, 3}));
}

TEST_F(UpDownFixture, ProgramChangesSayNothingAndAreClamped)
{
    UpDown->SetPosition(2);
    UpDown->SetPosition(99);
    EXPECT_EQ(UpDown->Position(), 3);
    UpDown->SetPosition(-5);
    EXPECT_EQ(UpDown->Position(), 0);
    UpDown->SetPosition(3);
    UpDown->SetMax(2);
    EXPECT_EQ(UpDown->Position(), 2);
    UpDown->SetMin(5); // the ends never cross
    EXPECT_EQ(UpDown->Max(), 5);
    EXPECT_EQ(UpDown->Position(), 5);
    EXPECT_TRUE(Seen.empty());
}

TEST_F(UpDownFixture, KeysStepLikeTheArrowsAndADisabledControlIgnoresInput)
{
    QTest::keyClick(UpDown, Qt::Key_Right);
    QTest::keyClick(UpDown, Qt::Key_Left);
    QTest::keyClick(UpDown, Qt::Key_Left);
    EXPECT_EQ(Seen, (std::vector<int>{2, 1, 0}));
    UpDown->setEnabled(false);
    Right();
    QTest::keyClick(UpDown, Qt::Key_Right);
    EXPECT_EQ(UpDown->Position(), 0);
    EXPECT_EQ(Seen.size(), 3u);
}

TEST_F(UpDownFixture, LargeIncrementsStopAtTheEnds)
{
    UpDown->SetMax(2147483647);
    UpDown->SetPosition(2147483600);
    UpDown->SetIncrement(1000);
    Right();
    EXPECT_EQ(UpDown->Position(), 2147483647);
}

TEST(RadioGroup, UserSelectionIsAnnouncedProgramSelectionIsNot)
{
    QWidget window;
    TRadioGroup group(&window);
    group.setGeometry(0, 0, 193, 273);
    group.SetItems({QStringLiteral("Один"), QStringLiteral("Два"), QStringLiteral("Три")});
    window.show();
    QSignalSpy clicks(&group, &TRadioGroup::Click);
    EXPECT_EQ(group.ItemIndex(), -1);

    auto click = [&](int i) {
        QRadioButton* b = group.Button(i);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    };
    click(1);
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(clicks.count(), 1);
    click(1); // already selected
    EXPECT_EQ(clicks.count(), 1);
    click(2);
    EXPECT_EQ(group.ItemIndex(), 2);
    EXPECT_FALSE(group.Button(1)->isChecked());
    EXPECT_EQ(clicks.count(), 2);

    group.SetItemIndex(0);
    EXPECT_TRUE(group.Button(0)->isChecked());
    group.SetItemIndex(-1);
    EXPECT_EQ(group.ItemIndex(), -1);
    for (int i = 0; i < group.Count(); ++i)
        EXPECT_FALSE(group.Button(i)->isChecked());
    EXPECT_EQ(clicks.count(), 2);
    // After a clear the user can select again, and the item is announced.
    click(0);
    EXPECT_EQ(group.ItemIndex(), 0);
    EXPECT_EQ(clicks.count(), 3);

    group.SetItemIndex(7);
    EXPECT_EQ(group.ItemIndex(), 2);
    group.SetItemIndex(-9);
    EXPECT_EQ(group.ItemIndex(), -1);
    EXPECT_EQ(group.Button(3), nullptr);

    group.setEnabled(false);
    click(1);
    EXPECT_EQ(group.ItemIndex(), -1);
    // Items stack top to bottom inside the frame.
    EXPECT_LT(group.Button(0)->y(), group.Button(1)->y());
    EXPECT_LE(group.Button(2)->geometry().bottom(), group.height());
}

// The items clear the caption and the frame's lines, whatever the style draws, also in a group
// as tight as the archive page's period.
TEST(RadioGroup, ItemsSitInsideTheFrameClearOfItsLines)
{
    for (const QSize size : {QSize(110, 100), QSize(193, 273)}) {
        QWidget window;
        TRadioGroup group(&window);
        QFont font(QStringLiteral("MS Sans Serif"));
        font.setPixelSize(11);
        font.setBold(true);
        group.setFont(font);
        group.setTitle(QStringLiteral("Период"));
        group.setGeometry(QRect(QPoint(0, 0), size));
        group.SetItems(
            {QStringLiteral("день"), QStringLiteral("неделя"), QStringLiteral("месяц"), QStringLiteral("год")});
        window.show();

        QStyleOptionGroupBox option;
        option.initFrom(&group);
        option.text = group.title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect frame =
            group.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, &group);
        const QRect caption =
            group.style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, &group);
        for (int i = 0; i < group.Count(); ++i) {
            const QRect item = group.Button(i)->geometry();
            EXPECT_GT(item.top(), frame.top() + 1) << i;
            EXPECT_GT(item.top(), caption.bottom()) << i;
            EXPECT_LT(item.bottom(), frame.bottom() - 1) << i;
        }
    }
}

TEST(LabeledEdit, LabelSitsAboveAndFollowsTheEdit)
{
    QWidget window;
    TLabeledEdit edit(&window);
    edit.setGeometry(8, 40, 57, 21);
    edit.SetCaption(QStringLiteral("Поправка"));
    window.show();
    QLabel* label = edit.EditLabel();
    EXPECT_EQ(label->parentWidget(), &window);
    EXPECT_EQ(label->text(), QStringLiteral("Поправка"));
    EXPECT_EQ(label->x(), 8);
    EXPECT_EQ(label->geometry().bottom() + 1 + TLabeledEdit::LabelSpacing, 40);

    edit.move(20, 80);
    EXPECT_EQ(label->x(), 20);
    EXPECT_EQ(label->geometry().bottom() + 1 + TLabeledEdit::LabelSpacing, 80);

    edit.SetText(QStringLiteral("+5"));
    EXPECT_EQ(edit.Text(), QStringLiteral("+5"));
    edit.Clear();
    EXPECT_TRUE(edit.Text().isEmpty());
    // Hidden, the edit's text is still what Qt reads of it.
    window.hide();
    edit.SetText(QStringLiteral("-3"));
    EXPECT_EQ(edit.text(), QStringLiteral("-3"));
    window.show();
    edit.Clear();

    edit.setEnabled(false);
    EXPECT_FALSE(label->isEnabled());
    edit.setEnabled(true);
    EXPECT_TRUE(label->isEnabled());
    edit.hide();
    EXPECT_FALSE(label->isVisible());
    edit.show();
    EXPECT_TRUE(label->isVisible());

    // Typing does nothing in a read-only field.
    edit.setReadOnly(true);
    QTest::keyClicks(&edit, QStringLiteral("12"));
    EXPECT_TRUE(edit.Text().isEmpty());
}

TEST(LabeledEdit, LabelGoesWithTheEdit)
{
    QWidget window;
    auto* edit = new TLabeledEdit(&window);
    QPointer<QLabel> label = edit->EditLabel();
    delete edit;
    EXPECT_TRUE(label.isNull());
}

TEST(Panel, BevelsAndCentredCaption)
{
    TPanel panel;
    panel.resize(100, 30);
    panel.SetBevelOuter(TPanelBevel::bvRaised);
    panel.SetBevelInner(TPanelBevel::bvLowered);
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Light, Qt::white);
    palette.setColor(QPalette::Dark, QColor(128, 128, 128));
    palette.setColor(QPalette::Window, QColor(240, 240, 240));
    palette.setColor(QPalette::WindowText, Qt::black);
    panel.setPalette(palette);
    QImage image = panel.grab().toImage();
    // Outer raised: light top-left, dark bottom-right; inner lowered: the reverse, one pixel in.
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(99, 29), QColor(128, 128, 128));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(128, 128, 128));
    EXPECT_EQ(image.pixelColor(98, 28), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(50, 2), QColor(240, 240, 240));

    panel.SetBevelOuter(TPanelBevel::bvNone);
    panel.SetCaption(QStringLiteral("ЖЖЖ"));
    image = panel.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(128, 128, 128)); // the inner bevel is now outermost
    // The caption's ink sits around the centre, none near the left and right edges.
    auto inkIn = [&](int x0, int x1) {
        int ink = 0;
        for (int x = x0; x < x1; ++x)
            for (int y = 3; y < 27; ++y)
                ink += image.pixelColor(x, y).lightness() < 100;
        return ink;
    };
    EXPECT_GT(inkIn(30, 70), 0);
    EXPECT_EQ(inkIn(3, 20), 0);
    EXPECT_EQ(inkIn(80, 97), 0);
    panel.SetBevelWidth(0);
    EXPECT_EQ(panel.BevelWidth(), 1);
}

TEST(PageControl, OnlyTheUserChangingThePageIsAnnounced)
{
    TPageControl control;
    control.resize(607, 350);
    QWidget* first = control.AddPage(QStringLiteral("TabSheet1"), QStringLiteral("Один"));
    QWidget* second = control.AddPage(QStringLiteral("TabSheet2"), QStringLiteral("Два"));
    control.AddPage(QStringLiteral("TabSheet3"), QStringLiteral("Три"));
    control.show();
    QSignalSpy changes(&control, &TPageControl::Change);
    EXPECT_EQ(control.ActivePageIndex(), 0);
    EXPECT_EQ(second->objectName(), QStringLiteral("TabSheet2"));
    EXPECT_EQ(first->geometry(), QRect(4, 24, 599, 322));
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(second->isVisible());

    int indexSeen = -1;
    QObject::connect(&control, &TPageControl::Change, [&] { indexSeen = control.ActivePageIndex(); });
    QTabBar* tabs = control.TabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(indexSeen, 1);
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(first->isVisible());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center()); // same page
    EXPECT_EQ(changes.count(), 1);

    control.SetActivePageIndex(2);
    control.SetActivePageIndex(0);
    control.SetActivePageIndex(9);
    EXPECT_EQ(control.ActivePageIndex(), 0);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(changes.count(), 1);

    control.setEnabled(false);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    EXPECT_EQ(control.ActivePageIndex(), 0);
    EXPECT_EQ(changes.count(), 1);
}

TEST(FontSubstitutes, WindowsFamiliesResolveToPresentFaces)
{
    InstallFontSubstitutes();
    for (const char* family : {"MS Sans Serif", "Times New Roman", "Palatino Linotype"}) {
        const QString resolved = ResolvedFontFamily(QString::fromLatin1(family));
        EXPECT_FALSE(resolved.isEmpty()) << family;
    }
    if (!QFontDatabase::hasFamily(QStringLiteral("Times New Roman")) &&
        QFontDatabase::hasFamily(QStringLiteral("Liberation Serif"))) {
        EXPECT_EQ(ResolvedFontFamily(QStringLiteral("Times New Roman")), QStringLiteral("Liberation Serif"));
    }
}

} // namespace

// Qt's own texts around the program's: the buttons of its boxes and dialogs, the edit fields' menu.
TEST(QtTexts, QtsButtonsAndEditMenuSpeakRussian)
{
    ASSERT_TRUE(UseRussianQtTexts());
    QDialogButtonBox buttons(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("Сохранить"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
    QLineEdit edit(QStringLiteral("753"));
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts; // with their shortcuts after a tab
    for (const QAction* action : menu->actions())
        texts << action->text().section(QLatin1Char('\t'), 0, 0);
    EXPECT_TRUE(texts.contains(QStringLiteral("&Копировать"))) << texts.join(QLatin1Char('|')).toStdString();
}
