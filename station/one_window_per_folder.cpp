#include "station/one_window_per_folder.h"

#include "gui/bring_forward.h"
#include "gui/qt_texts.h"
#include "gui/termination_signals.h"
#include "os/system_requests.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <cstdio>

QString AlreadyRunningText(const QString& folder)
{
    return QStringLiteral("Программа уже запущена и работает с папкой «%1». Перейдите в её окно: второе окно с той "
                          "же папкой не открывается, чтобы не потерять сохранённые данные.")
        .arg(QDir::toNativeSeparators(folder));
}

std::unique_ptr<os::TDataFolderLock> ClaimCurrentFolder()
{
    // Before the lock: once it is ours, a second start may send its request.
    gui::BringForwardOnRequest();
    auto lock = std::make_unique<os::TDataFolderLock>(QDir::currentPath());
    if (lock->State() != os::TDataFolderLock::TState::HeldElsewhere)
        return lock;

    const QString text = AlreadyRunningText(lock->Folder());
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
    gui::UseRussianQtTexts();
    QMessageBox box(QMessageBox::Information, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
    gui::CloseOnTerminationSignals(&box);
    box.exec();
    // Only now: brought forward at once, the open window could cover this box.
    os::RequestBringForward(lock->HolderProcessId());
    return nullptr;
}
