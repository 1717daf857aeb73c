#include "gui/question_box.h"

#include "gui/program_ending.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace gui {

bool AskYesNo(const QString& text, QWidget* parent)
{
    // The program is ending: the safe answer, without asking.
    if (EndRequested())
        return false;
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    // A box closed because the program ends counts as «Нет».
    return box.clickedButton() == yes && !EndRequested();
}

} // namespace gui
