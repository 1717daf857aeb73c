#include "gui/error_box.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(ErrorBox, FullStopAppendedOnlyAfterCharactersAboveFullStop)
{
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("Файл не найден")), QStringLiteral("Файл не найден."));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("Disk full")), QStringLiteral("Disk full."));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("met.mtb.")), QStringLiteral("met.mtb."));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("(4096)")), QStringLiteral("(4096)"));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("Ошибка!")), QStringLiteral("Ошибка!"));
    EXPECT_EQ(gui::ErrorBoxText(QStringLiteral("code 5")), QStringLiteral("code 5."));
    EXPECT_EQ(gui::ErrorBoxText(QString()), QString());
}

TEST(ErrorBox, ExceptionReachingTheEventLoopIsShownAndTheProgramGoesOn)
{
    QString shown;
    gui::SetErrorBoxHook([&](const QString& text) { shown = text; });
    struct Throwing : QObject
    {
        bool event(QEvent*) override { throw std::runtime_error("Нет места на диске"); }
    } throwing;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&throwing, &event));
    gui::SetErrorBoxHook({});
    EXPECT_EQ(shown, QStringLiteral("Нет места на диске."));
}

} // namespace
