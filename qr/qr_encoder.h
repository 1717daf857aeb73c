// The program's own QR code encoder (ISO/IEC 18004), so that every build, the Windows one included,
// shows the web page's address as a code for a phone's camera without a library of the system.
// Plain C++, no Qt: bytes in, modules out; the window draws them (station/qr_code.cpp).
#pragma once

#include <string_view>
#include <vector>

namespace qr {

// The modules of a code, row by row, true for dark, without the quiet zone: 17 + 4 × version modules
// on a side.
using TQrMatrix = std::vector<std::vector<bool>>;

// The most bytes one code holds: version 40 at the level the encoder uses.
inline constexpr int MaxQrBytes = 2331;

// `bytes` (UTF-8 text, as the phones read it) in byte mode at error correction level M, in the
// smallest version that holds them, with the mask of the lowest penalty; empty when more than
// MaxQrBytes.
TQrMatrix EncodeQr(std::string_view bytes);

} // namespace qr
