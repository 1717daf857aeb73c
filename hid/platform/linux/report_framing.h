// Above the platform layer an input report always starts with its report id byte. hidraw delivers
// that byte only for devices that number their reports, so for the others a read goes one byte into
// the caller's buffer and the byte in front is the id 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hidplatform {

struct ReadFrame
{
    std::size_t Offset = 0;   // where the kernel's bytes go in the caller's buffer
    std::size_t Capacity = 0; // how many bytes the kernel may write there
};

// False when a buffer of that length cannot hold any report data.
bool FrameRead(bool numberedReports, std::size_t length, ReadFrame& out);

// The report length as the layer above counts it; 0 when the kernel delivered nothing.
std::uint32_t FramedReadSize(const ReadFrame& frame, std::size_t bytesRead);

} // namespace hidplatform
