#include "hid/platform/error_text.h"

#include "base/system_text.h"

#include <cerrno>
#include <system_error>

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
#ifdef ESHUTDOWN // not an error code of Windows, where the simulated devices use the rest
    case ESHUTDOWN:
#endif
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

std::string CommonReasonText(int code)
{
    const char* reason = CommonReason(code);
    return reason != nullptr ? reason : "";
}

std::string SystemErrorText(std::uint32_t code)
{
    if (const char* reason = CommonReason(static_cast<int>(code)))
        return reason;
    // The C library's text, through a call that is thread-safe on every system.
    return base::TrimErrorText(std::generic_category().message(static_cast<int>(code)));
}

} // namespace hidplatform
