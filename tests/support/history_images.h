// History images made to order for the tests: an empty one, records put at a slot, and the small
// history several folders start from (three records of one day, the rest empty).
#pragma once

#include "core/history_state.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace testsupport {

inline THistoryImage EmptyImage()
{
    THistoryImage image;
    image.fill(HistoryMissing);
    return image;
}

inline void PutRecord(THistoryImage& image, int slot, const std::array<std::uint8_t, HistoryRecordSize>& bytes)
{
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(slot) * HistoryRecordSize);
}

// Three records of 5 December 2016, 14 to 16 h (the 15 h one without pressure and humidity), and
// the rest empty: a user's history before a download or a fault.
inline THistoryImage SmallHistoryImage()
{
    THistoryImage image = EmptyImage();
    PutRecord(image, 0, {0x17, 0x85, 0x8C, 0x2D, 0x0E, 0x05, 0x0C, 0x10});
    PutRecord(image, 1, {0x15, 0x00, 0xFF, 0xFF, 0x0F, 0x05, 0x0C, 0x10});
    PutRecord(image, 2, {0x16, 0x03, 0x8B, 0x30, 0x10, 0x05, 0x0C, 0x10});
    return image;
}

} // namespace testsupport
