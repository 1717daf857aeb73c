// An icon made of image files that are read and decoded only when it is first drawn or asked for
// a picture: a program's icon in six sizes costs its start nothing where nothing shows it before
// the window's first paint.
#pragma once

#include <QIcon>
#include <QSize>
#include <QString>
#include <vector>

namespace gui {

struct TIconFile
{
    QString Path;
    QSize Size;
};

QIcon DeferredIcon(std::vector<TIconFile> files);

} // namespace gui
