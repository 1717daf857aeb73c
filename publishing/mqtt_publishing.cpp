#include "publishing/mqtt_publishing.h"

#include "publish/station_id.h"

#include <QPointer>

using namespace publish;

namespace {

const TMqttStatus OffStatus{};

} // namespace

TMqttPublishing::TMqttPublishing(const QString& dataFolder, TSecretStore& secrets, QObject* parent)
    : QObject(parent)
    , DataFolder(dataFolder)
    , Secrets(secrets)
{
    connect(&Secrets, &TSecretStore::BackendChanged, this, &TMqttPublishing::PasswordPlaceChanged);
}

// The publisher says «offline» and disconnects as it goes.
TMqttPublishing::~TMqttPublishing() = default;

void TMqttPublishing::Load()
{
    const settings::TLoaded<TMqttSettings> kept = LoadMqttSettings(DataFolder);
    FSettings = kept.Settings;
    // What the file held that was not taken is said once, beside the settings taken instead.
    const auto loaded = [this](const QStringList& problems) {
        FLoaded = true;
        ApplyToPublisher();
        emit Loaded();
        if (const QString told = problems.join(QLatin1Char(' ')).trimmed(); !told.isEmpty())
            emit Problem(told);
    };
    // A password only goes with a user name: without one the store is never asked.
    if (FSettings.User.isEmpty()) {
        loaded({kept.Problem});
        return;
    }
    const QPointer<TMqttPublishing> alive(this);
    Secrets.Read(PasswordKey(), [this, alive, loaded, problem = kept.Problem](const TSecretRead& read) {
        if (!alive)
            return;
        FPassword = read.Secret.value_or(QString());
        QStringList problems{problem};
        if (!read.Error.isEmpty())
            problems << QStringLiteral("Пароль MQTT не прочитан: %1.").arg(read.Error);
        loaded(problems);
    });
}

void TMqttPublishing::Accept(const TMqttSettings& settings, const QString& password)
{
    const bool passwordChanged = password != FPassword;
    if (settings == FSettings && !passwordChanged)
        return;
    const bool settingsChanged = settings != FSettings;
    FSettings = settings;
    FPassword = password;
    ApplyToPublisher();
    if (settingsChanged)
        if (const QString error = SaveMqttSettings(DataFolder, FSettings); !error.isEmpty())
            emit Problem(error);
    if (passwordChanged)
        KeepPassword(password);
}

const TMqttStatus& TMqttPublishing::Status() const
{
    return Publisher ? Publisher->Status() : OffStatus;
}

QString TMqttPublishing::PasswordPlaceText() const
{
    return SecretBackendText(Secrets.Backend(), Secrets.FilePath());
}

QString TMqttPublishing::StationId()
{
    if (FStationId.isEmpty()) {
        const TStationId id = LoadOrCreateStationId(DataFolder);
        FStationId = id.Id;
        // The id works for this run; the next start makes another, and home automation sees a new device.
        if (!id.Error.isEmpty())
            emit Problem(id.Error);
    }
    return FStationId;
}

QString TMqttPublishing::PasswordKey()
{
    return MqttPasswordName(StationId());
}

void TMqttPublishing::KeepPassword(const QString& password)
{
    const QPointer<TMqttPublishing> alive(this);
    const auto done = [this, alive](const QString& error) {
        if (alive && !error.isEmpty())
            emit Problem(QStringLiteral("Пароль MQTT не сохранён: %1.").arg(error));
    };
    if (password.isEmpty())
        Secrets.Remove(PasswordKey(), done);
    else
        Secrets.Write(PasswordKey(), password, done);
}

void TMqttPublishing::ApplyToPublisher()
{
    if (!Publisher) {
        if (!FSettings.Enabled)
            return;
        Publisher = std::make_unique<TMqttPublisher>(TMqttIdentity{StationId()});
        connect(Publisher.get(), &TMqttPublisher::StatusChanged, this, &TMqttPublishing::StatusChanged);
    }
    Publisher->Apply(FSettings, FPassword);
}
