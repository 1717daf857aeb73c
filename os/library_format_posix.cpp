// The libraries this system loads are ELF files.
#include "os/library_image.h"

namespace os {

TImageFormat SystemImageFormat()
{
    return TImageFormat::Elf;
}

} // namespace os
