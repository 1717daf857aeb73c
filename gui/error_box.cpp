#include "gui/error_box.h"

#include "gui/program_ending.h"

#include <QMessageBox>
#include <QTimer>
#include <exception>
#include <stdexcept>

namespace gui {
namespace {

std::function<void(const QString&)>& Hook()
{
    static std::function<void(const QString&)> hook;
    return hook;
}

} // namespace

QString ErrorBoxText(const QString& message)
{
    const QByteArray bytes = message.toUtf8();
    if (!bytes.isEmpty() && static_cast<unsigned char>(bytes.back()) > static_cast<unsigned char>('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowErrorBoxLater(QObject* owner, const QString& message)
{
    // A timer of the owner's rather than a queued call, whose functor the analyzer cannot see Qt
    // take over (it reports it leaked).
    auto* later = new QTimer(owner);
    later->setSingleShot(true);
    QObject::connect(later, &QTimer::timeout, owner, [later, message] {
        later->deleteLater();
        ShowErrorBox(message);
    });
    later->start(0);
}

void ShowErrorBox(const QString& message)
{
    const QString text = ErrorBoxText(message);
    if (Hook()) {
        Hook()(text);
        return;
    }
    // Nobody is left to read it: the program is ending.
    if (EndRequested())
        return;
    QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
    box.exec();
}

void SetErrorBoxHook(std::function<void(const QString& text)> hook)
{
    Hook() = std::move(hook);
}

QString CurrentExceptionMessage()
{
    try {
        throw;
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("Неизвестная ошибка");
    }
}

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowErrorBox(CurrentExceptionMessage());
        return false;
    }
}

} // namespace gui
