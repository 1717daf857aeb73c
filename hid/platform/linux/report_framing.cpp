#include "hid/platform/linux/report_framing.h"

namespace hidplatform {

bool FrameRead(bool numberedReports, std::size_t length, ReadFrame& out)
{
    const std::size_t offset = numberedReports ? 0 : 1;
    if (length <= offset)
        return false;
    out.Offset = offset;
    out.Capacity = length - offset;
    return true;
}

std::uint32_t FramedReadSize(const ReadFrame& frame, std::size_t bytesRead)
{
    if (bytesRead == 0)
        return 0;
    if (bytesRead > frame.Capacity)
        bytesRead = frame.Capacity;
    return static_cast<std::uint32_t>(frame.Offset + bytesRead);
}

} // namespace hidplatform
