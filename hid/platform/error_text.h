// The text the program shows for an error code of a HID read or write (errno values, which both
// backends use), in the form it follows the program's own text.
#pragma once

#include <cstdint>
#include <string>

namespace hidplatform {

// The common reasons of a HID device's failures in Russian, whatever the system's locale (UTF-8);
// strerror's text, trimmed, for the rest.
std::string SystemErrorText(std::uint32_t code);

// The common reason for an errno code in Russian (UTF-8); empty for the others.
std::string CommonReasonText(int code);

} // namespace hidplatform
