// Renders each page of the window offscreen; with METEO_RENDER_DIR set the pictures are kept for
// a look by eye. Checks that no control sticks out of its page or overlaps a sibling.
#include "hid/platform/sim/sim_platform.h"
#include "station/main_form.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

TEST(StationFormRender, EveryPageRendersAndItsControlsStayInside)
{
    hidplatform::SimPlatform platform;
    TForm1 form(platform);
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

namespace {

TEST(StationFormRender, LoadedSettingsPageAndLiveReadings)
{
    hidplatform::SimPlatform platform;
    TForm1 form(platform);
    form.show();
    form.ShowStationConnected();
    form.PageControl1->SetActivePageIndex(PageIndex(TFormPage::Settings));
    form.Button6Click();
    TReportImage report;
    report.fill(0);
    report[InField::IndoorStatus] = 16;
    report[InField::IndoorTemperature] = 23;
    report[InField::OutdoorStatus] = 16;
    report[InField::OutdoorTemperature] = 15;
    report[InField::PressureOn] = 1;
    report[InField::PressureRaw] = 130;
    report[InField::HumidityOn] = 1;
    report[InField::Humidity] = 100;
    report[InField::ClockCorrection] = 3;
    report[InField::TimerLow] = 125;
    form.HandleInputReport(report.data(), ReportImageSize);
    form.HandleInputReport(report.data(), ReportImageSize);
    form.RadioGroup1->SetItemIndex(1);
    form.RadioGroup1Click();
    const QByteArray dir = qgetenv("METEO_RENDER_DIR");
    if (!dir.isEmpty())
        form.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("settings_loaded.png")));
    form.PageControl1->SetActivePageIndex(PageIndex(TFormPage::Readings));
    if (!dir.isEmpty())
        form.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QStringLiteral("readings_live.png")));
    // The longest texts fit their panels.
    const QFontMetrics metrics(form.Panel4->font());
    EXPECT_LT(metrics.horizontalAdvance(form.Panel4->Caption()), form.Panel4->width() - 4);
    EXPECT_LT(QFontMetrics(form.Panel1->font()).horizontalAdvance(form.Panel1->Caption()), form.Panel1->width() - 4);
    EXPECT_LT(QFontMetrics(form.LabeledEdit4->font()).horizontalAdvance(form.LabeledEdit4->Text()),
              form.LabeledEdit4->width() - 4);
}

} // namespace
