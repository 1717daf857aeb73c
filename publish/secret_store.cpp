// The password store: QtKeychain first, the user-only file where no store answers.
#include "publish/secret_store.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace publish {
namespace {

constexpr const char* SecretFileName = "publish.secret";

struct TSecretFile
{
    QJsonObject Secrets;
    QString Error;
};

QString NativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The file's secrets; none when it does not exist. A file that others could read is made the
// user's alone before anything is taken from it.
TSecretFile ReadSecretFile(const QString& path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    const auto userOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (file.permissions() != userOnly)
        file.setPermissions(userOnly);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("Не удалось прочитать файл «%1»").arg(NativePath(path))};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        return {{}, QStringLiteral("Файл «%1» повреждён").arg(NativePath(path))};
    return {document.object(), {}};
}

// Replaces the file in one step; it is the user's alone before a secret goes into it.
QString WriteSecretFile(const QString& path, const QJsonObject& secrets)
{
    const QString failed = QStringLiteral("Не удалось записать файл «%1»").arg(NativePath(path));
    if (secrets.isEmpty())
        return QFile::exists(path) && !QFile::remove(path) ? failed : QString();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failed;
    const QByteArray bytes = QJsonDocument(secrets).toJson(QJsonDocument::Compact);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return failed;
    return {};
}

} // namespace

// What the system's store answered to one job.
struct TSecretStore::TStoreAnswer
{
    quint64 Generation = 0;
    QKeychain::Error Error = QKeychain::NoError;
    QString Secret;
    bool TimedOut = false;
};

TSecretStore::TSecretStore(const QString& dataFolder, const QString& service, QObject* parent)
    : QObject(parent)
    , FFilePath(QDir(dataFolder).filePath(QString::fromLatin1(SecretFileName)))
    , Service(service)
{
}

TSecretStore::~TSecretStore() = default;

void TSecretStore::Read(const QString& key, std::function<void(const TSecretRead&)> done)
{
    Enqueue({TOperation::Read, key, {}, std::move(done)});
}

void TSecretStore::Write(const QString& key, const QString& secret, std::function<void(const QString&)> done)
{
    Enqueue({TOperation::Write, key, secret, [done = std::move(done)](const TSecretRead& result) {
                 if (done)
                     done(result.Error);
             }});
}

void TSecretStore::Remove(const QString& key, std::function<void(const QString&)> done)
{
    Enqueue({TOperation::Remove, key, {}, [done = std::move(done)](const TSecretRead& result) {
                 if (done)
                     done(result.Error);
             }});
}

void TSecretStore::Enqueue(TRequest request)
{
    Queue.push_back(std::move(request));
    if (!Running) {
        Running = true;
        // Never from inside the caller's call.
        QTimer::singleShot(0, this, &TSecretStore::StartNext);
    }
}

void TSecretStore::StartNext()
{
    if (Queue.empty()) {
        Running = false;
        return;
    }
    if (StoreUnanswered)
        UseFile(Queue.front());
    else
        AskSystemStore(Queue.front());
}

void TSecretStore::AskSystemStore(const TRequest& request)
{
    QKeychain::Job* job = nullptr;
    switch (request.Operation) {
    case TOperation::Read:
        job = new QKeychain::ReadPasswordJob(Service);
        break;
    case TOperation::Write: {
        auto* write = new QKeychain::WritePasswordJob(Service);
        write->setTextData(request.Secret);
        job = write;
        break;
    }
    case TOperation::Remove:
        job = new QKeychain::DeletePasswordJob(Service);
        break;
    }
    job->setKey(request.Key);
    job->setAutoDelete(true);
    const quint64 generation = ++Generation;
    connect(job, &QKeychain::Job::finished, this, [this, generation](QKeychain::Job* finished) {
        TStoreAnswer answer{generation, finished->error(), {}, false};
        if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
            answer.Secret = read->textData();
        OnStoreAnswer(answer);
    });
    // A store that never answers (a hung service) counts as none.
    QTimer::singleShot(StoreTimeoutMs, this, [this, generation] { OnStoreAnswer({generation, {}, {}, true}); });
    job->start();
}

void TSecretStore::OnStoreAnswer(const TStoreAnswer& answer)
{
    if (answer.Generation != Generation || Queue.empty())
        return; // the other of the answer and its time-out came first
    ++Generation;
    const TRequest& request = Queue.front();
    switch (answer.TimedOut ? QKeychain::NoBackendAvailable : answer.Error) {
    case QKeychain::NoError:
        if (request.Operation == TOperation::Read) {
            Finish({answer.Secret, {}}, TSecretBackend::SystemStore);
            return;
        }
        // The store holds it now (or it is gone from it): no copy may stay in the file.
        if (TSecretFile file = ReadSecretFile(FFilePath); file.Error.isEmpty() && file.Secrets.contains(request.Key)) {
            file.Secrets.remove(request.Key);
            WriteSecretFile(FFilePath, file.Secrets);
        }
        Finish({}, TSecretBackend::SystemStore);
        return;
    case QKeychain::EntryNotFound:
        // Kept in the file by an earlier run that had no store, perhaps.
        UseFile(request);
        return;
    case QKeychain::AccessDenied:
    case QKeychain::AccessDeniedByUser:
        Finish({{}, QStringLiteral("Хранилище паролей отказало в доступе")}, TSecretBackend::SystemStore);
        return;
    case QKeychain::CouldNotDeleteEntry:
        Finish({{}, QStringLiteral("Хранилище паролей не удалило пароль")}, TSecretBackend::SystemStore);
        return;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        break;
    }
    StoreUnanswered = true;
    UseFile(request);
}

void TSecretStore::UseFile(const TRequest& request)
{
    TSecretFile file = ReadSecretFile(FFilePath);
    const TSecretBackend backend =
        StoreUnanswered || file.Secrets.contains(request.Key) ? TSecretBackend::UserFile : TSecretBackend::SystemStore;
    if (!file.Error.isEmpty() && request.Operation == TOperation::Read) {
        Finish({{}, file.Error}, backend);
        return;
    }
    switch (request.Operation) {
    case TOperation::Read:
        if (file.Secrets.contains(request.Key))
            Finish({file.Secrets.value(request.Key).toString(), {}}, backend);
        else
            Finish({}, backend);
        return;
    case TOperation::Write:
        // A damaged file holds nothing worth keeping: it is replaced.
        file.Secrets.insert(request.Key, request.Secret);
        Finish({{}, WriteSecretFile(FFilePath, file.Secrets)}, TSecretBackend::UserFile);
        return;
    case TOperation::Remove:
        file.Secrets.remove(request.Key);
        Finish({{}, WriteSecretFile(FFilePath, file.Secrets)}, backend);
        return;
    }
}

void TSecretStore::Finish(const TSecretRead& result, TSecretBackend backend)
{
    TRequest request = std::move(Queue.front());
    Queue.pop_front();
    SetBackend(backend);
    const QPointer<TSecretStore> alive(this);
    if (request.Done)
        request.Done(result);
    if (alive) // the caller's function may have ended the store
        StartNext();
}

void TSecretStore::SetBackend(TSecretBackend backend)
{
    if (backend == FBackend)
        return;
    FBackend = backend;
    emit BackendChanged(backend);
}

QString SecretBackendText(TSecretBackend backend, const QString& filePath)
{
    switch (backend) {
    case TSecretBackend::NotYetKnown:
        return {};
    case TSecretBackend::SystemStore:
        return QStringLiteral("Пароль хранится в системном хранилище паролей.");
    case TSecretBackend::UserFile:
        break;
    }
    return QStringLiteral("Системное хранилище паролей не отвечает: пароль хранится в файле «%1», "
                          "доступном только вам.")
        .arg(NativePath(filePath));
}

} // namespace publish
