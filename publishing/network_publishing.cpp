// The window's uploads to the weather networks; see network_publishing.h.
#include "publishing/network_publishing.h"

#include "publish/station_id.h"

#include <QPointer>

using namespace publish;

TNetworkPublishing::TNetworkPublishing(const QString& dataFolder, TSecretStore& secrets, QObject* parent)
    : QObject(parent)
    , DataFolder(dataFolder)
    , Secrets(secrets)
{
    const settings::TLoaded<TPublishSettings> common = LoadNetworksCommon(dataFolder);
    FCommon = common.Settings;
    FCommonLoadProblem = common.Problem;
    for (settings::TLoaded<TNetworkEntry>& entry : LoadNetworkEntries(dataFolder))
        Services.push_back({std::move(entry.Settings), {}, {}, std::move(entry.Problem)});
}

TNetworkPublishing::~TNetworkPublishing()
{
    // The page may already be gone: the uploaders' last words reach no one.
    blockSignals(true);
    for (TService& service : Services)
        service.Uploader.reset();
}

void TNetworkPublishing::Load(TReadingSource& source, TPositionStore& positions)
{
    Source = &source;
    Positions = &positions;
    ReadKeys(0);
}

// One key after another: only services that were ever given an id have one in the store.
void TNetworkPublishing::ReadKeys(std::size_t next)
{
    while (next < Services.size() && Services[next].Entry.Settings.StationId.isEmpty())
        ++next;
    if (next == Services.size()) {
        FLoaded = true;
        for (int index = 0; index < Count(); ++index)
            Apply(index);
        emit Loaded();
        return;
    }
    const int index = static_cast<int>(next);
    const QPointer<TNetworkPublishing> alive(this);
    Secrets.Read(SecretName(index), [this, alive, index, next](const TSecretRead& read) {
        if (!alive)
            return;
        Service(index).Key = read.Secret.value_or(QString());
        // Said beside what the block already tells of the file.
        if (!read.Error.isEmpty())
            emit Problem(
                index,
                QStringList{Service(index).LoadProblem, QStringLiteral("Ключ не прочитан: %1.").arg(read.Error)}
                    .join(QLatin1Char(' '))
                    .trimmed());
        ReadKeys(next + 1);
    });
}

const TUploadState* TNetworkPublishing::State(int index) const
{
    const auto& uploader = Service(index).Uploader;
    return uploader ? &uploader->State() : nullptr;
}

void TNetworkPublishing::Accept(int index, const TNetworkEntry& entry, const QString& key)
{
    TService& service = Service(index);
    const bool keyChanged = key != service.Key;
    const bool entryChanged = !(entry == service.Entry);
    if (!entryChanged && !keyChanged)
        return;
    service.Entry = entry;
    service.Key = key;
    if (entryChanged)
        if (const QString error = SaveNetworkEntry(DataFolder, entry); !error.isEmpty())
            emit Problem(index, error);
    if (keyChanged) {
        const QPointer<TNetworkPublishing> alive(this);
        const auto done = [this, alive, index](const QString& error) {
            if (alive && !error.isEmpty())
                emit Problem(index, QStringLiteral("Ключ не сохранён: %1.").arg(error));
        };
        if (key.isEmpty())
            Secrets.Remove(SecretName(index), done);
        else
            Secrets.Write(SecretName(index), key, done);
    }
    Apply(index);
}

void TNetworkPublishing::AcceptCommon(const TPublishSettings& common)
{
    FCommon = common;
    if (const QString error = SaveNetworksCommon(DataFolder, common); !error.isEmpty())
        emit Problem(-1, error);
    for (int index = 0; index < Count(); ++index)
        if (Service(index).Uploader)
            Service(index).Uploader->ChangeSettings(WithKey(index), FCommon);
}

QString TNetworkPublishing::SecretName(int index)
{
    if (FStationId.isEmpty()) {
        const TStationId id = LoadOrCreateStationId(DataFolder);
        FStationId = id.Id;
        if (!id.Error.isEmpty())
            emit Problem(index, id.Error);
    }
    return publish::SecretName(Service(index).Entry.Settings.Kind, FStationId);
}

TServiceSettings TNetworkPublishing::WithKey(int index) const
{
    TServiceSettings settings = Service(index).Entry.Settings;
    settings.Key = Service(index).Key;
    return settings;
}

void TNetworkPublishing::Apply(int index)
{
    if (!FLoaded)
        return;
    TService& service = Service(index);
    if (!service.Entry.Enabled) {
        if (service.Uploader) {
            service.Uploader.reset();
            emit StateChanged(index);
        }
        return;
    }
    // Another protocol of narodmon is another uploader; the queue position stays theirs alike.
    if (service.Uploader && service.Uploader->Settings().Kind != service.Entry.Settings.Kind)
        service.Uploader.reset();
    if (service.Uploader) {
        service.Uploader->ChangeSettings(WithKey(index), FCommon);
        return;
    }
    service.Uploader = std::make_unique<TServiceUploader>(WithKey(index), FCommon,
                                                          TUploaderParts{*Source, *Positions, Exchange, Clock});
    connect(service.Uploader.get(), &TServiceUploader::StateChanged, this, [this, index] { emit StateChanged(index); });
    service.Uploader->Start();
    emit StateChanged(index);
}
