#include "hid/platform/error_text.h"

#include <cerrno>
#include <cstring>

namespace hidplatform {
namespace {

// What a user can act on: the station unplugged, no access, a busy or silent device. Under the
// C locale (a desktop session started without a language, a service) strerror would say these in
// English.
const char* CommonReason(int code)
{
    switch (code) {
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
        return "Устройство отключено";
    case ENOENT:
        return "Устройство не найдено";
    case EACCES:
    case EPERM:
        return "Нет доступа к устройству";
    case EBUSY:
        return "Устройство занято другой программой";
    case EIO:
        return "Ошибка ввода-вывода";
    case EPIPE:
        return "Устройство не принимает данные";
    case ETIMEDOUT:
        return "Устройство не отвечает";
    case EPROTO:
        return "Ошибка обмена данными с устройством";
    case EAGAIN:
        return "Устройство временно недоступно";
    case EINVAL:
        return "Устройство отвергло запрос";
    case EBADF:
        return "Устройство закрыто";
    case ENOMEM:
        return "Недостаточно памяти";
    default:
        return nullptr;
    }
}

} // namespace

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
    if (const char* reason = CommonReason(static_cast<int>(code)))
        return reason;
    char buffer[256] = {};
    // The GNU strerror_r: returns the text, which may or may not be in the buffer; thread-safe.
    const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return TrimErrorText(text != nullptr ? text : "");
}

} // namespace hidplatform
