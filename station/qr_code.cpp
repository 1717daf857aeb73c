#include "station/qr_code.h"

#include "qr/qr_encoder.h"

#include <QPainter>

QImage QrCodeImage(const QString& text, int moduleSize)
{
    const QByteArray bytes = text.toUtf8();
    const qr::TQrMatrix code =
        qr::EncodeQr(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    if (code.empty())
        return {};
    constexpr int QuietModules = 4; // what the readers expect around the code
    const int side = static_cast<int>(code.size());
    const int modules = side + 2 * QuietModules;
    QImage image(modules * moduleSize, modules * moduleSize, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            if (code[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)])
                painter.fillRect((x + QuietModules) * moduleSize, (y + QuietModules) * moduleSize, moduleSize,
                                 moduleSize, Qt::black);
    return image;
}
