// Qt's own texts (the file dialog, the edit fields' context menu, standard buttons) in Russian, as
// the rest of the window.
#pragma once

namespace gui {

// Installs Qt's Russian translation on the application, from Qt's translations folder or from the
// "translations" folder beside the program (the Windows folder ships it there). False when neither
// has it: Qt's texts stay in English.
bool UseRussianQtTexts();

} // namespace gui
