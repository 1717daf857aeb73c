#include "gui/error_box.h"
#include "gui/program_ending.h"
#include "gui/question_box.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QTimer>
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

// Last in this program: from here on the program counts as ending.
TEST(ErrorBox, TheRequestToEndClosesOpenBoxesWithTheirSafeAnswer)
{
    // A question with a file dialog over it, both open when the request comes: the dialog is
    // cancelled, the question answered «Нет», and a box asked for afterwards is not shown.
    QString chosen = QStringLiteral("not asked");
    bool answer = true;
    // Each step runs from the event loop of the box before it.
    QTimer question, dialog, request;
    for (QTimer* timer : {&question, &dialog, &request}) {
        timer->setSingleShot(true);
        timer->setInterval(0);
    }
    QObject::connect(&question, &QTimer::timeout, [&] {
        dialog.start();
        answer = gui::AskYesNo(QStringLiteral("Стереть?"));
        QCoreApplication::exit(0);
    });
    QObject::connect(&dialog, &QTimer::timeout, [&] {
        request.start();
        chosen = QFileDialog::getSaveFileName(nullptr, QStringLiteral("Экспорт"), {}, {}, nullptr,
                                              QFileDialog::DontUseNativeDialog);
    });
    QObject::connect(&request, &QTimer::timeout, [] { gui::EndProgramDialogs(); });
    question.start();
    QCoreApplication::exec();
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_FALSE(answer);
    EXPECT_TRUE(gui::EndRequested());
    EXPECT_FALSE(gui::AskYesNo(QStringLiteral("Закрыть?")));
    gui::ShowErrorBox(QStringLiteral("Ошибка"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
