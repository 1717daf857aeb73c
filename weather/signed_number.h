// Numbers as the program's messages and the tray icon write them: a sign in front (a true minus,
// a plus above zero, none for zero) and a decimal comma, as Russian text has it.
#pragma once

#include <QString>

namespace weather {

// `value` rounded to `decimals` places; a value that rounds to zero is written without a sign.
QString SignedNumber(double value, int decimals = 0);
// `value` rounded to `decimals` places with a decimal comma, no sign added.
QString PlainNumber(double value, int decimals = 0);

} // namespace weather
