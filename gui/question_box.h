// The standard Yes/No question: a modal box captioned with the application title, with "Да" and
// "Нет", where "Нет" is the default and what Escape answers.
#pragma once

#include <QString>

class QWidget;

namespace gui {

// True when the user answers Yes.
bool AskYesNo(const QString& text, QWidget* parent = nullptr);

} // namespace gui
