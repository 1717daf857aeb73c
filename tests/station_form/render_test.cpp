// Renders each page of the window offscreen; with METEO_RENDER_DIR set the pictures are kept for
// a look by eye. Checks that no control sticks out of its page or overlaps a sibling.
#include "station/main_form.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

TEST(StationFormRender, EveryPageRendersAndItsControlsStayInside)
{
    TForm1 form;
    form.show();
    const QByteArray dir = qgetenv("METEO_RENDER_DIR");
    for (int page = 0; page < form.PageControl1->PageCount(); ++page) {
        form.PageControl1->SetActivePageIndex(page);
        const QPixmap picture = form.grab();
        EXPECT_EQ(picture.size(), QSize(607, 350));
        if (!dir.isEmpty())
            picture.save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("page%1.png").arg(page)));
        QWidget* sheet = form.PageControl1->Page(page);
        for (QWidget* child : sheet->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isVisibleTo(sheet))
                continue;
            EXPECT_TRUE(sheet->rect().contains(child->geometry())) << child->objectName().toStdString();
        }
    }
}

} // namespace
