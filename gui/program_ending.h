// The program asked to end (a termination signal, the end of the session): a message box or file
// dialog left open would hold the process, and with it the folder lock, until someone answered.
// So every open dialog is closed with its safe answer («Нет», «Отмена»; an error box just closes),
// and a box asked for after that is answered the same way without being shown.
#pragma once

namespace gui {

// Closes every open dialog as cancelled; from now on EndRequested() is true.
void EndProgramDialogs();

// True once the program has been asked to end.
bool EndRequested();

} // namespace gui
