#include "station/one_window_per_folder.h"

#include "base/system_reason.h"
#include "gui/bring_forward.h"
#include "gui/error_box.h"
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

QString FolderHeldText(const os::TDataFolderLock& lock)
{
    const QString folder = QDir::toNativeSeparators(lock.Folder());
    const QString process = lock.HolderProcessId() > 0
        ? QStringLiteral(" (процесс %1)").arg(static_cast<qlonglong>(lock.HolderProcessId()))
        : QString();
    if (lock.HolderKind() == os::ServiceLockHolder)
        return QStringLiteral("С папкой «%1» уже работает программа без окна — служба «meteostation --service»%2. Окно "
                              "и служба не работают с одной папкой одновременно: остановите службу (systemctl --user "
                              "stop meteostation) и откройте окно снова.")
            .arg(folder, process);
    return QStringLiteral("С папкой «%1» уже работает окно программы%2. Окно и служба не работают с одной папкой "
                          "одновременно: закройте окно и запустите службу снова.")
        .arg(folder, process);
}

QString UnprotectedFolderText(const QString& folder, int error)
{
    return QStringLiteral("Файл «%1» в папке «%2» — символическая ссылка, и заменить его не удаётся: %3. Второе окно "
                          "программы с той же папкой не будет остановлено: не открывайте его, чтобы не потерять "
                          "сохранённые данные.")
        .arg(os::DataFolderLockName, QDir::toNativeSeparators(folder), base::SystemReason(error));
}

std::unique_ptr<os::TDataFolderLock> ClaimCurrentFolder()
{
    // Before the lock: once it is ours, a second start may send its request.
    gui::BringForwardOnRequest();
    auto lock = std::make_unique<os::TDataFolderLock>(QDir::currentPath());
    if (lock->State() == os::TDataFolderLock::TState::Unprotected) {
        const QString text = UnprotectedFolderText(lock->Folder(), lock->SystemError());
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        std::fflush(stderr);
        QMetaObject::invokeMethod(
            qApp, [text] { gui::ShowErrorBox(text); }, Qt::QueuedConnection);
    }
    if (lock->State() != os::TDataFolderLock::TState::HeldElsewhere)
        return lock;

    const bool service = lock->HolderKind() == os::ServiceLockHolder;
    const QString text = service ? FolderHeldText(*lock) : AlreadyRunningText(lock->Folder());
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    std::fflush(stderr);
    gui::UseRussianQtTexts();
    QMessageBox box(QMessageBox::Information, QApplication::applicationDisplayName(), text, QMessageBox::Ok);
    gui::CloseOnTerminationSignals(&box);
    box.exec();
    // Only now: brought forward at once, the open window could cover this box. A service has none.
    if (!service)
        os::RequestBringForward(lock->HolderProcessId());
    return nullptr;
}
