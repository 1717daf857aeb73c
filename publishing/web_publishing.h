// The program's web page as the owner sets it: the settings kept in "publish.ini", the access code
// in the secret store (made at random the first time the home network may reach the page), and the
// server that shows the readings, the station's presence and the outlook handed to it. Nothing
// runs, no file is written and the store is not asked until the owner turns the page on.
#pragma once

#include "base/station_reading.h"
#include "publish/secret_store.h"
#include "web/web_server.h"
#include "web/web_settings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

struct TWebStatus
{
    bool Running = false;
    quint16 Port = 0;
    QString Problem; // why the page is not served though it is on (Russian); empty otherwise
};

class TWebPublishing : public QObject
{
    Q_OBJECT

public:
    TWebPublishing(const QString& dataFolder, publish::TSecretStore& secrets, QObject* parent = nullptr);
    ~TWebPublishing() override;

    // The kept settings, and the code when the home network may reach the page; Loaded says when
    // both are known. The server starts once the archive is known too (SetArchive).
    void Load();
    bool IsLoaded() const { return FLoaded; }
    // The archive the pages read, through a connection of the server's own.
    void SetArchive(const QString& archivePath);

    // The settings in effect, the code among them.
    const web::TWebSettings& Settings() const { return FSettings; }
    // Settings that passed the entry checks: in effect at once, saved, and the code kept in the
    // store when it changed (one is made when the home network may reach the page and none is
    // given). What could not be kept is said through Problem.
    void Accept(const web::TWebSettings& settings);

    void TakeReading(const base::TStationReading& reading);
    void TakeStationPresence(base::TStationPresence presence);
    void TakeOutlook(const QString& trend, const QString& forecast);

    const TWebStatus& Status() const { return FStatus; }
    // Where the page opens: the loopback address for this computer; each of this computer's
    // network addresses with the code when the home network may reach it.
    QStringList Addresses() const;

signals:
    void Loaded();
    // The server started, stopped or failed, or the addresses changed (another scope or code).
    void StatusChanged();
    void Problem(const QString& message);

private:
    QString CodeKey();
    // Reads the kept code, or makes and keeps one, when the settings need one and it is unknown.
    void EnsureCode(const std::function<void()>& then);
    void KeepCode();
    // Starts, restarts or stops the server after the settings.
    void Apply();

    QString DataFolder;
    publish::TSecretStore& Secrets;
    web::TWebSettings FSettings;
    QString FStationId;
    bool FLoaded = false;
    bool FCodeRead = false; // the store was asked for the code (or one was made)
    bool FArchiveKnown = false;
    // Keeps the latest reading, presence and outlook while stopped, for its next start.
    web::TWebServer FServer{QString()};
    TWebStatus FStatus;
};
