// The tray icon's picture: the outdoor temperature as a whole number with its sign, white on a
// blue (below zero) or amber square so it reads on light and dark panels alike; the program's own
// icon while there is no reading. The picture is drawn anew only when the shown number changes.
#pragma once

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <optional>

namespace desktop {

// The sizes trays ask for: 16 and 32 on Windows at 100 % and 200 %, 22 and 24 on Linux panels.
inline constexpr int TrayPictureSizes[] = {16, 22, 24, 32, 48};

class TTrayPicture
{
public:
    // `fallback`: the picture while there is no reading, the program's window icon by default.
    explicit TTrayPicture(const QIcon& fallback = {});

    // The picture of `celsius` (rounded) at `size` × `size` pixels.
    static QImage NumberImage(int celsius, int size);

    // The icon for the tray: the temperature at every tray size, or the fallback for none. True
    // from Update when the picture changed, so the tray needs setIcon only then.
    bool Update(std::optional<double> celsius);
    const QIcon& Icon() const { return FIcon; }

private:
    // The number's outline at a large size, made once per number: laying out the text costs more
    // than drawing it at all the tray's sizes.
    static QPainterPath NumberPath(int celsius);
    static QImage Draw(const QPainterPath& number, bool frost, int size);

    QHash<int, QPainterPath> FPaths;
    QIcon FFallback;
    QIcon FIcon;
    // The number shown; none for the fallback. Unset before the first Update.
    std::optional<std::optional<int>> FShown;
};

} // namespace desktop
