// The tray icon's picture: the number legible at every tray size (white, inside the square with
// a margin, centred), the colour telling frost from warmth, each number its own picture, the
// station's icon without a reading, and redraws only when the shown number changes.
#include "desktop/tray_picture.h"

#include <QPixmap>
#include <gtest/gtest.h>

namespace {

struct TInk
{
    int Count = 0;
    QRect Bounds;
};

// The white pixels of the picture: the number.
TInk WhiteInk(const QImage& image)
{
    TInk ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 200 && c.blue() > 200) {
                ++ink.Count;
                ink.Bounds |= QRect(x, y, 1, 1);
            }
        }
    return ink;
}

TEST(TrayPicture, NumbersAreLegibleAtEveryTraySize)
{
    for (const int size : desktop::TrayPictureSizes)
        for (const int celsius : {-38, -5, 0, 7, 23}) {
            const QImage image = desktop::TTrayPicture::NumberImage(celsius, size);
            ASSERT_EQ(image.size(), QSize(size, size));
            const TInk ink = WhiteInk(image);
            EXPECT_GT(ink.Count, size * size / 20) << celsius << " at " << size;
            // Inside the square, not touching its edge, centred within a pixel.
            EXPECT_GE(ink.Bounds.left(), 1) << celsius << " at " << size;
            EXPECT_LE(ink.Bounds.right(), size - 2) << celsius << " at " << size;
            EXPECT_LE(std::abs(ink.Bounds.center().x() * 2 + 1 - size), 3) << celsius << " at " << size;
            EXPECT_LE(std::abs(ink.Bounds.center().y() * 2 + 1 - size), 3) << celsius << " at " << size;
            // The background: blue below zero, amber from zero up.
            const QColor background = image.pixelColor(size / 2, 1);
            if (celsius < 0)
                EXPECT_GT(background.blue(), background.red()) << celsius << " at " << size;
            else
                EXPECT_GT(background.red(), background.blue()) << celsius << " at " << size;
        }
    // Each number its own picture, the sign included.
    EXPECT_NE(desktop::TTrayPicture::NumberImage(5, 24), desktop::TTrayPicture::NumberImage(-5, 24));
    EXPECT_NE(desktop::TTrayPicture::NumberImage(1, 24), desktop::TTrayPicture::NumberImage(7, 24));
    EXPECT_NE(desktop::TTrayPicture::NumberImage(12, 24), desktop::TTrayPicture::NumberImage(21, 24));
}

TEST(TrayPicture, StationIconWithoutAReadingAndRedrawsOnlyOnChange)
{
    QPixmap station(32, 32);
    station.fill(Qt::green);
    desktop::TTrayPicture picture{QIcon(station)};

    EXPECT_TRUE(picture.Update(std::nullopt));
    EXPECT_EQ(picture.Icon().pixmap(32).toImage().pixelColor(5, 5), QColor(Qt::green));
    EXPECT_FALSE(picture.Update(std::nullopt));

    EXPECT_TRUE(picture.Update(5.4));
    for (const int size : desktop::TrayPictureSizes)
        EXPECT_EQ(picture.Icon().pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  desktop::TTrayPicture::NumberImage(5, size))
            << size;
    EXPECT_FALSE(picture.Update(4.6)); // still 5
    EXPECT_TRUE(picture.Update(-0.4)); // 0
    EXPECT_FALSE(picture.Update(0.49));
    EXPECT_TRUE(picture.Update(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(picture.Icon().pixmap(32).toImage().pixelColor(5, 5), QColor(Qt::green));
}

} // namespace
