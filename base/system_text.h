// A system's error text (strerror's, std::error_category's, FormatMessage's) as the program's
// messages quote it: after their own words, without the full stop and line end the system closes
// it with. Header-only and without Qt: the Windows HID backend, built where there is no Qt, uses it
// as the MQTT link's texts do.
#pragma once

#include <string>
#include <string_view>

namespace base {

// Trailing spaces, control characters and full stops removed; UTF-8 bytes above 0x7F are text.
inline std::string TrimErrorText(std::string_view text)
{
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.back());
        if (c != ' ' && c != '.' && c >= 0x20 && c != 0x7F)
            break;
        text.remove_suffix(1);
    }
    return std::string(text);
}

} // namespace base
