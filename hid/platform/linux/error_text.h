// The system's message for an error code, in the form the program shows it after its own text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hidplatform {

// Trailing spaces, control characters and full stops removed.
std::string TrimErrorText(std::string_view text);

// strerror's text for the code, trimmed.
std::string SystemErrorText(std::uint32_t code);

} // namespace hidplatform
