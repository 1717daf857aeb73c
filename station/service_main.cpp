// The program's entry as a service; see station_service.h. Apart from the service itself, as only
// the program links the system's HID backend.
#include "desktop/program_entry.h"
#include "hid/platform/host_platform.h"
#include "os/command_line.h"
#include "os/data_folder.h"
#include "os/data_folder_lock.h"
#include "os/system_requests.h"
#include "station/one_window_per_folder.h"
#include "station/program_usage.h"
#include "station/station_service.h"

#include <QCoreApplication>
#include <QDir>

int RunStationService(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Anything beside --service that is not the program's is refused, as the window refuses it.
    if (const auto status =
            os::AnswerCommandLine(QCoreApplication::arguments(), ProgramUsage(), os::TCommandLineCheck::Everything))
        return *status;
    QCoreApplication::setApplicationName(desktop::ProgramName);
    QString problem;
    if (!os::EnterDataFolder(problem)) {
        TellOnStandardError(problem);
        return 1;
    }
    // The service has no window to bring forward: a second start's request is only ignored.
    os::OnBringForwardRequest([] {});
    const os::TDataFolderLock lock(QDir::currentPath(), os::ServiceLockHolder);
    if (lock.State() == os::TDataFolderLock::TState::HeldElsewhere) {
        TellOnStandardError(FolderHeldText(lock));
        return 1;
    }
    if (lock.State() == os::TDataFolderLock::TState::Unprotected)
        TellOnStandardError(UnprotectedFolderText(lock.Folder(), lock.SystemError()));

    const auto platform = hidplatform::CreateHostPlatform();
    TStationService service(*platform);
    os::OnTerminationRequest(&service, [&service] {
        service.Stop();
        QCoreApplication::quit();
    });
    service.Start();
    return app.exec();
}
