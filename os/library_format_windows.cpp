// The libraries this system loads are PE files (DLLs).
#include "os/library_image.h"

namespace os {

TImageFormat SystemImageFormat()
{
    return TImageFormat::Pe;
}

} // namespace os
