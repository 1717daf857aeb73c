// The system's message for an error code is shown after the program's own text, so it is trimmed
// the same way on every platform.
#pragma once

#include <string>
#include <string_view>

namespace hidplatform {

// Trailing spaces, control characters and full stops removed.
std::string TrimErrorText(std::string_view text);

} // namespace hidplatform
