// The «Публикация» page's settings as the owner meets them: what "publish.ini" held that could not
// be taken is told in the block it belongs to, a damaged file once by the window; and the wheel
// scrolls the page rather than change a setting that passes under the pointer.
#include "gui/error_box.h"
#include "publish/networks/memory_queue.h"
#include "station/mqtt_block.h"
#include "station/network_block.h"
#include "station/publish_page.h"
#include "station/station_publishing.h"
#include "tests/support/e2e_support.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSpinBox>
#include <QtTest/qtestspontaneevent.h>

namespace {

using testsupport::PumpUntil;

// The page as the window makes it, its uploads started over readings kept in memory.
struct TPage
{
    TPage()
    {
        Window.resize(560, 260);
        Page = static_cast<TPublishPage*>(Publishing.CreatePage(&Window, QDir::currentPath()));
        Page->resize(Window.size());
        Publishing.StartArchive(Readings, Positions, QString());
        Window.show();
    }
    QLabel* Line(const char* name) const { return Page->findChild<QLabel*>(QString::fromLatin1(name)); }

    publish::TMemoryReadingSource Readings;
    publish::TMemoryPositionStore Positions;
    TStationPublishing Publishing;
    QWidget Window;
    TPublishPage* Page = nullptr;
};

// One notch down over the middle of `control`, delivered as the system delivers the wheel: to the
// widget under the pointer, on to its parents while none takes it.
void WheelDown(QWidget* control)
{
    const QPoint middle = control->rect().center();
    QWidget* under = control->childAt(middle) ? control->childAt(middle) : control;
    const QPointF at = under->mapFrom(control, middle);
    QWheelEvent wheel(at, under->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    // As QTest sends the keys: sendEvent would take the event for the program's own, which stays
    // where it is sent.
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    qApp->notify(under, &wheel);
}

TEST(PublishPageSettings, ValuesTheFileHeldThatWereNotTakenAreToldInTheirBlocks)
{
    ASSERT_TRUE(testsupport::WriteFileBytes(QStringLiteral("publish.ini"),
                                            "[mqtt]\nhost=broker.local\nport=99999999999\ntls=maybe\n"
                                            "[windy]\ninterval_minutes=2147483647\n"
                                            "[wunderground]\ninterval_minutes=15\n[networks]\nlatitude=91\n"));
    TPage page;
    const TMqttBlock* mqtt = page.Publishing.MqttBlock;
    EXPECT_EQ(mqtt->ProblemLabel->text(),
              QStringLiteral("В «publish.ini» порт MQTT (mqtt/port) 99999999999 вне пределов 1..65535; взят 1883. "
                             "В «publish.ini» у ключа mqtt/tls значение «maybe» — не false и не true; взято false."));
    EXPECT_EQ(mqtt->PortEdit->text(), QStringLiteral("1883"));
    EXPECT_EQ(mqtt->HostEdit->text(), QStringLiteral("broker.local"));
    EXPECT_EQ(page.Line("NetworkwindyProblemLabel")->text(),
              QStringLiteral("В «publish.ini» интервал отправки «Windy» в минутах (windy/interval_minutes) 2147483647 "
                             "вне пределов 0..1440; взят 5."));
    EXPECT_EQ(page.Page->findChild<QSpinBox*>(QStringLiteral("NetworkwindyIntervalBox"))->value(), 5);
    EXPECT_EQ(page.Page->findChild<QSpinBox*>(QStringLiteral("NetworkwundergroundIntervalBox"))->value(), 15);
    EXPECT_EQ(page.Line("NetworkwundergroundProblemLabel")->text(), QString());
    EXPECT_EQ(page.Line("NetworksProblemLabel")->text(),
              QStringLiteral("В «publish.ini» широта (networks/latitude) 91 вне пределов -90..90; не задана."));
    EXPECT_EQ(page.Publishing.SettingsFileProblem(), QString());
}

class PublishPageWindow : public e2e::StationE2E
{};

TEST_F(PublishPageWindow, ADamagedSettingsFileIsToldOnceAsTheWindowTellsOfItsOwn)
{
    QByteArray junk;
    QRandomGenerator bytes(7);
    for (int i = 0; i < 4096; ++i)
        junk.append(static_cast<char>(bytes.bounded(256)));
    ASSERT_TRUE(testsupport::WriteFileBytes(QStringLiteral("publish.ini"), junk));
    const auto boxes = std::make_shared<QStringList>();
    gui::SetErrorBoxHook([boxes](const QString& text) { *boxes << text; });
    CreateForm();
    const bool told = PumpUntil([boxes] { return !boxes->isEmpty(); });
    gui::SetErrorBoxHook({});
    ASSERT_TRUE(told);
    EXPECT_EQ(*boxes,
              QStringList{
                  QStringLiteral("Файл настроек «%1» повреждён; что из него не прочитать, взято по "
                                 "умолчанию.")
                      .arg(QDir::toNativeSeparators(QDir::current().absoluteFilePath(QStringLiteral("publish.ini"))))});
}

TEST(PublishPageSettings, TheWheelScrollsThePageAndChangesOnlyTheSettingInHand)
{
    TPage page;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page.Window, testsupport::EventDeadlineMs));
    QSpinBox* interval = page.Publishing.MqttBlock->IntervalBox;
    auto* humidity = page.Page->findChild<QComboBox*>(QStringLiteral("NetworksHumidityBox"));
    ASSERT_TRUE(PumpUntil([&] { return interval->isEnabled() && humidity->isEnabled(); }));
    QScrollBar* scroll = page.Page->verticalScrollBar();
    for (QWidget* control : std::initializer_list<QWidget*>{interval, humidity}) {
        const int before = scroll->value();
        WheelDown(control);
        EXPECT_GT(scroll->value(), before) << control->objectName().toStdString();
        EXPECT_FALSE(control->hasFocus()) << control->objectName().toStdString();
    }
    EXPECT_EQ(interval->value(), 30);
    EXPECT_EQ(humidity->currentIndex(), 0);

    page.Window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&page.Window, testsupport::EventDeadlineMs));
    interval->setFocus();
    ASSERT_TRUE(PumpUntil([&] { return interval->hasFocus(); }));
    WheelDown(interval);
    EXPECT_EQ(page.Publishing.Mqtt->Settings().IntervalSeconds, 29);
    humidity->setFocus();
    ASSERT_TRUE(PumpUntil([&] { return humidity->hasFocus(); }));
    WheelDown(humidity);
    EXPECT_EQ(page.Publishing.Networks->Common().HumidityPlace, publish::THumidityPlace::Outdoor);
}

} // namespace
