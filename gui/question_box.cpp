#include "gui/question_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace gui {

bool AskYesNo(const QString& text, QWidget* parent)
{
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text, QMessageBox::NoButton, parent);
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

} // namespace gui
