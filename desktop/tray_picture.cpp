// The tray icon's picture; see tray_picture.h.
#include "desktop/tray_picture.h"

#include "weather/signed_number.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace desktop {

namespace {

const QColor FrostColor(0x1b, 0x5f, 0xb4);
const QColor WarmColor(0xc2, 0x5a, 0x0c);

QFont NumberFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Segoe UI"), QStringLiteral("Arial")});
    font.setBold(true);
    font.setPixelSize(64);
    return font;
}

} // namespace

TTrayPicture::TTrayPicture(const QIcon& fallback)
    : FFallback(fallback.isNull() ? QGuiApplication::windowIcon() : fallback)
{
}

QPainterPath TTrayPicture::NumberPath(int celsius)
{
    QPainterPath text;
    text.addText(0, 0, NumberFont(), weather::SignedNumber(celsius));
    return text;
}

QImage TTrayPicture::NumberImage(int celsius, int size)
{
    return Draw(NumberPath(celsius), celsius < 0, size);
}

QImage TTrayPicture::Draw(const QPainterPath& number, bool frost, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(frost ? FrostColor : WarmColor);
    const qreal radius = size / 6.0;
    painter.drawRoundedRect(QRectF(0, 0, size, size), radius, radius);

    // The text as a path, scaled to fill the square less a margin: "−23" is squeezed sideways
    // rather than made too small to read; a short number keeps its proportions.
    const QRectF bounds = number.boundingRect();
    const qreal margin = std::max(1.0, size / 16.0);
    const qreal room = size - 2 * margin;
    const qreal height = room * 0.62;
    const qreal scaleY = height / bounds.height();
    const qreal scaleX = std::min(scaleY, room / bounds.width());
    QTransform place;
    place.translate(size / 2.0, size / 2.0);
    place.scale(scaleX, scaleY);
    place.translate(-bounds.center().x(), -bounds.center().y());
    painter.setBrush(Qt::white);
    painter.drawPath(place.map(number));
    return image;
}

bool TTrayPicture::Update(std::optional<double> celsius)
{
    std::optional<int> shown;
    if (celsius && std::isfinite(*celsius))
        shown = static_cast<int>(std::lround(*celsius));
    if (FShown && *FShown == shown)
        return false;
    FShown = shown;
    if (!shown) {
        FIcon = FFallback;
        return true;
    }
    auto path = FPaths.find(*shown);
    if (path == FPaths.end())
        path = FPaths.insert(*shown, NumberPath(*shown));
    QIcon icon;
    for (const int size : TrayPictureSizes)
        icon.addPixmap(QPixmap::fromImage(Draw(*path, *shown < 0, size)));
    FIcon = icon;
    return true;
}

} // namespace desktop
