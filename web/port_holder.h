// Which program holds a TCP port this program wanted, for the message that the port is taken:
// best effort, where the system tells (on Linux /proc, for the user's own programs).
#pragma once

#include <QString>
#include <optional>

namespace web {

// «firefox (процесс 1234)»; none when the system does not say.
std::optional<QString> PortHolder(quint16 port);

} // namespace web
