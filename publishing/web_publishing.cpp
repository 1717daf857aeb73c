#include "publishing/web_publishing.h"

#include "publish/station_id.h"
#include "web/web_settings_file.h"

#include <QNetworkInterface>
#include <QPointer>

using namespace web;

TWebPublishing::TWebPublishing(const QString& dataFolder, publish::TSecretStore& secrets, QObject* parent)
    : QObject(parent)
    , DataFolder(dataFolder)
    , Secrets(secrets)
{
}

// The server's thread ends with it; its clients see the connection close.
TWebPublishing::~TWebPublishing() = default;

void TWebPublishing::Load()
{
    const settings::TLoaded<TWebSettings> kept = LoadWebSettings(DataFolder);
    FSettings = kept.Settings;
    EnsureCode([this, problem = kept.Problem] {
        FLoaded = true;
        Apply();
        emit Loaded();
        if (!problem.isEmpty())
            emit Problem(problem);
    });
}

void TWebPublishing::SetArchive(const QString& archivePath)
{
    FServer.SetArchivePath(archivePath);
    FArchiveKnown = true;
    Apply();
}

void TWebPublishing::Accept(const TWebSettings& settings)
{
    const bool codeChanged = settings.AccessCode != FSettings.AccessCode;
    const bool settingsChanged =
        settings.Enabled != FSettings.Enabled || settings.Port != FSettings.Port || settings.Scope != FSettings.Scope;
    if (!codeChanged && !settingsChanged)
        return;
    FSettings.Enabled = settings.Enabled;
    FSettings.Port = settings.Port;
    FSettings.Scope = settings.Scope;
    if (settingsChanged)
        if (const QString error = SaveWebSettings(DataFolder, FSettings); !error.isEmpty())
            emit Problem(error);
    if (codeChanged) {
        // A code emptied by the owner is made anew; an unknown one is read before it is made.
        FSettings.AccessCode = settings.AccessCode.isEmpty() && FCodeRead ? NewAccessCode() : settings.AccessCode;
        if (!FSettings.AccessCode.isEmpty()) {
            FCodeRead = true;
            KeepCode();
        }
    }
    EnsureCode([this] { Apply(); });
}

void TWebPublishing::TakeReading(const base::TStationReading& reading)
{
    FServer.TakeReading(reading);
}

void TWebPublishing::TakeStationPresence(base::TStationPresence presence)
{
    FServer.TakeLinkState(presence);
}

void TWebPublishing::TakeOutlook(const QString& trend, const QString& forecast)
{
    FServer.TakeOutlook(trend, forecast);
}

QStringList TWebPublishing::Addresses() const
{
    const QString port = QString::number(FStatus.Port != 0 ? FStatus.Port : FSettings.Port);
    if (FSettings.Scope == TWebScope::ThisComputer)
        return {QStringLiteral("http://127.0.0.1:%1/").arg(port)};
    QStringList addresses;
    for (const QNetworkInterface& face : QNetworkInterface::allInterfaces()) {
        const auto flags = face.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : face.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                addresses
                    << QStringLiteral("http://%1:%2/?code=%3").arg(entry.ip().toString(), port, FSettings.AccessCode);
    }
    return addresses;
}

QString TWebPublishing::CodeKey()
{
    if (FStationId.isEmpty()) {
        const publish::TStationId id = publish::LoadOrCreateStationId(DataFolder);
        FStationId = id.Id;
        if (!id.Error.isEmpty())
            emit Problem(id.Error);
    }
    return WebAccessCodeName(FStationId);
}

void TWebPublishing::EnsureCode(const std::function<void()>& then)
{
    // The store is asked only when a code is needed: a page for this computer alone never asks.
    if (FCodeRead || !FSettings.Enabled || FSettings.Scope != TWebScope::HomeNetwork) {
        then();
        return;
    }
    FCodeRead = true;
    const QPointer<TWebPublishing> alive(this);
    Secrets.Read(CodeKey(), [this, alive, then](const publish::TSecretRead& read) {
        if (!alive)
            return;
        if (!read.Error.isEmpty())
            emit Problem(QStringLiteral("Код доступа к веб-странице не прочитан: %1.").arg(read.Error));
        if (read.Secret && AccessCodeProblem(*read.Secret).isEmpty()) {
            FSettings.AccessCode = *read.Secret;
        } else if (read.Error.isEmpty()) {
            // None kept yet (or one this program would not take): a new one, kept at once.
            FSettings.AccessCode = NewAccessCode();
            KeepCode();
        }
        then();
    });
}

void TWebPublishing::KeepCode()
{
    const QPointer<TWebPublishing> alive(this);
    Secrets.Write(CodeKey(), FSettings.AccessCode, [this, alive](const QString& error) {
        if (alive && !error.isEmpty())
            emit Problem(QStringLiteral("Код доступа к веб-странице не сохранён: %1.").arg(error));
    });
}

void TWebPublishing::Apply()
{
    TWebStatus status;
    if (FLoaded && FArchiveKnown && FSettings.Enabled) {
        const TWebStartResult started = FServer.Start(FSettings);
        status = {started.Ok, started.Port, started.Problem};
    } else {
        FServer.Stop();
    }
    // Told also when it stays the same: the addresses change with the scope and the code.
    FStatus = status;
    emit StatusChanged();
}
