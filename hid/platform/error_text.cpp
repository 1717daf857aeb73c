#include "hid/platform/error_text.h"

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

} // namespace hidplatform
