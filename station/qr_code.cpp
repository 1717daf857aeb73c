#include "station/qr_code.h"

#include <QPainter>
#include <memory>
#include <qrencode.h>

QImage QrCodeImage(const QString& text, int moduleSize)
{
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code)
        return {};
    constexpr int QuietModules = 4; // what the readers expect around the code
    const int modules = code->width + 2 * QuietModules;
    QImage image(modules * moduleSize, modules * moduleSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            if ((code->data[y * code->width + x] & 1) != 0)
                painter.fillRect((x + QuietModules) * moduleSize, (y + QuietModules) * moduleSize, moduleSize,
                                 moduleSize, Qt::black);
    return image;
}
