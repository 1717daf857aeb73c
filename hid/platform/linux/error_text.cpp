#include "hid/platform/linux/error_text.h"

#include <cstring>

namespace hidplatform {

std::string SystemErrorText(std::uint32_t code)
{
    char buffer[256] = {};
    // The GNU strerror_r: returns the text, which may or may not be in the buffer; thread-safe.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return TrimErrorText(text != nullptr ? text : "");
}

} // namespace hidplatform
