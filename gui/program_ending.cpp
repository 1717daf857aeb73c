#include "gui/program_ending.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>

namespace gui {
namespace {

bool Ending = false;

} // namespace

void EndProgramDialogs()
{
    Ending = true;
    // Closed from the innermost out, each one's loop returns once this call has returned.
    QList<QPointer<QDialog>> open;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible())
            open.append(dialog);
    for (const QPointer<QDialog>& dialog : open)
        if (dialog)
            dialog->reject();
}

bool EndRequested()
{
    return Ending;
}

} // namespace gui
