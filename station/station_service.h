// The program run as a service (`meteostation --service`): no window and no tray, for a small
// always-on computer beside the station. It runs the station core in the current data folder, the
// archive, the publishers and the web page, as the window would, and keeps the station streaming.
// What the window would tell in a box is written to standard error, a line each, where the
// system's journal takes it.
#pragma once

#include "core/outlook_feed.h"
#include "core/station_core.h"
#include "station/publishing_feed.h"

#include <QObject>
#include <QString>
#include <memory>

namespace hidplatform {
class Platform;
}

class TStationService : public QObject
{
    Q_OBJECT

public:
    explicit TStationService(hidplatform::Platform& platform, QObject* parent = nullptr);
    ~TStationService() override;

    // The copy loaded, the archive opened, the publishers started, the station looked for.
    void Start();
    // The run ends: the station is told to be quiet, the last sample kept, the copy written.
    void Stop();

    TStationCore& Core() { return FCore; }
    // None where the publishing could not be had (told at Start).
    TPublishingModule* Publishing() const { return FPublishing ? &FPublishing->Module() : nullptr; }

    // Where the lines go; standard error unless a test catches them.
    using TLog = std::function<void(const QString&)>;
    void SetLog(TLog log) { FLog = std::move(log); }

private:
    void Tell(const QString& message) const;
    void TakeReading(const base::TStationReading& reading);
    void TellLink();

    TStationCore FCore;
    std::unique_ptr<TPublishingFeed> FPublishing;
    TOutlookFeed FOutlook{FCore};
    TLog FLog;
    bool FStopped = false;
};

// A line for the system's journal.
void TellOnStandardError(const QString& line);

// main() of `meteostation --service` (service_main.cpp, in the program alone): the application object, the data folder
// and its lock, the station until a request to end (SIGTERM, SIGINT); the exit status.
int RunStationService(int argc, char** argv);
