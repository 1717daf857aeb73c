#include "hid/platform/linux/error_text.h"

#include <cstring>

namespace hidplatform {

std::string TrimErrorText(std::string_view text)
{
    while (!text.empty())
    {
        const auto c = static_cast<unsigned char>(text.back());
        if (c != ' ' && c != '.' && c >= 0x20 && c != 0x7F)
            break;
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::string SystemErrorText(std::uint32_t code)
{
    char buffer[256] = {};
    // The GNU strerror_r: returns the text, which may or may not be in the buffer; thread-safe.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return TrimErrorText(text != nullptr ? text : "");
}

} // namespace hidplatform
