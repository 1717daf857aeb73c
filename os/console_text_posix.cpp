// Text for the user on a POSIX system: the terminal, or wherever the output is redirected.
#include "os/command_line.h"

#include <cstdio>

namespace os {

void WriteToUser(const QString& text, bool error)
{
    FILE* stream = error ? stderr : stdout;
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace os
