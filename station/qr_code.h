// A text as a QR code picture, for a phone's camera to read an address off the screen.
#pragma once

#include <QImage>
#include <QString>

// Black modules on white with the quiet zone around them, `moduleSize` pixels each; a null image
// when the text is too long for a QR code.
QImage QrCodeImage(const QString& text, int moduleSize);
