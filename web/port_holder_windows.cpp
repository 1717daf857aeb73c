// Windows: the holder of a port is not looked up; the message names the port alone.
#include "web/port_holder.h"

namespace web {

std::optional<QString> PortHolder(quint16)
{
    return std::nullopt;
}

} // namespace web
