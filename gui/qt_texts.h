// The window's language: Russian for what Qt formats by locale (dates, month and day names, numbers,
// file sizes) and for Qt's own texts (the file dialog, the edit fields' context menu, standard
// buttons), as the rest of the window, whatever language the system is set to.
#pragma once

namespace gui {

// Makes Russian the locale of the whole program: the default locale (date pickers, calendars) and
// the system locale, which Qt's own file dialog uses for sizes and dates. The process environment
// stays as it was, so the C library and any program started later keep the user's settings. Call
// it first in main, before the application object exists.
void UseRussianLocale();

// Installs Qt's Russian translation on the application, from Qt's translations folder or from the
// "translations" folder beside the program (the Windows folder ships it there). False when neither
// has it: Qt's texts stay in English. Once it is installed, later calls only say so. The programs
// call it before the first dialog that can show, and otherwise just after the window's first paint.
bool UseRussianQtTexts();

} // namespace gui
