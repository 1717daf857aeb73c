// The system's message for an error code, in the form the program shows it after its own text.
#pragma once

#include "hid/platform/error_text.h"

#include <cstdint>
#include <string>

namespace hidplatform {

// strerror's text for the code, trimmed.
std::string SystemErrorText(std::uint32_t code);

} // namespace hidplatform
