// The standard error box: an exception that reaches the event loop is shown to the user in a
// message box captioned with the application title, with an OK button and the error icon, and
// the program goes on.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace gui {

// The box text for an error message: a full stop is appended when the last character sorts
// above "." in byte order (so "Файл не найден" gets one and "met.mtb." or "(4096)" keep theirs).
QString ErrorBoxText(const QString& message);

// Shows the box (modal). Tests may replace what the box does with SetErrorBoxHook.
void ShowErrorBox(const QString& message);

// Shows the box once the event being handled is done, never in the middle of it; not at all when
// `owner` is gone by then.
void ShowErrorBoxLater(QObject* owner, const QString& message);

// Replaces the box for tests: the hook receives the final box text instead of a box appearing.
// An empty function restores the real box.
void SetErrorBoxHook(std::function<void(const QString& text)> hook);

// The message of whatever exception is current (inside a catch block).
QString CurrentExceptionMessage();

// QApplication whose event delivery catches exceptions and shows them in the error box.
class TApplication : public QApplication
{
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace gui
