// The password store: the system's store first, the user-only file where no store answers. How
// the system's store is asked is the backend's (secret_store_keychain.cpp, secret_store_windows.cpp).
#include "publish/secret_store.h"

#include "os/atomic_file.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>

namespace publish {
namespace {

constexpr const char* SecretFileName = "publish.secret";
// Far more than the program's few secrets; a larger file is not the program's.
constexpr qsizetype LongestSecretFile = 1 << 20;

struct TSecretFile
{
    QJsonObject Secrets;
    QString Error;
    // A link in the file's place: neither it nor what it points to is read, written or removed.
    bool Link = false;
};

QString NativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The file's secrets; none when it does not exist. A file that others could read is made the
// user's alone before anything is taken from it.
TSecretFile ReadSecretFile(const QString& path)
{
    const os::TFileStart start = os::ReadPrivateFile(path, LongestSecretFile + 1);
    switch (start.Outcome) {
    case os::TFileReadOutcome::Missing:
        return {};
    case os::TFileReadOutcome::Link:
        return {{},
                QStringLiteral("Файл «%1» — символическая ссылка; программа не читает и не пишет секреты по ссылке")
                    .arg(NativePath(path)),
                true};
    case os::TFileReadOutcome::Failed:
        return {{}, QStringLiteral("Не удалось прочитать файл «%1»").arg(NativePath(path))};
    case os::TFileReadOutcome::Read:
        break;
    }
    const QJsonDocument document = QJsonDocument::fromJson(start.Bytes);
    if (start.Bytes.size() > LongestSecretFile || !document.isObject())
        return {{}, QStringLiteral("Файл «%1» повреждён").arg(NativePath(path))};
    return {document.object(), {}};
}

// Replaces the file in one step, user-only from its first byte (see os/atomic_file.h).
QString WriteSecretFile(const QString& path, const QJsonObject& secrets)
{
    if (secrets.isEmpty())
        return QFile::exists(path) && !QFile::remove(path)
            ? QStringLiteral("Не удалось записать файл «%1»").arg(NativePath(path))
            : QString();
    try {
        os::ReplaceFileAtomically(path, QJsonDocument(secrets).toJson(QJsonDocument::Compact));
    } catch (const os::EFileError& error) {
        return error.Message();
    }
    return {};
}

} // namespace

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
    if (StoreUnanswered) {
        UseFile(Queue.front());
        return;
    }
    const quint64 generation = ++Generation;
    // A store that never answers (a hung service) counts as none.
    QTimer::singleShot(StoreTimeoutMs, this, [this, generation] {
        OnStoreAnswer({generation, TStoreOutcome::Unavailable, {}});
    });
    AskSystemStore(Queue.front(), generation);
}

void TSecretStore::OnStoreAnswer(const TStoreAnswer& answer)
{
    if (answer.Generation != Generation || Queue.empty())
        return; // the other of the answer and its time-out came first
    ++Generation;
    const TRequest& request = Queue.front();
    switch (answer.Outcome) {
    case TStoreOutcome::Done:
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
    case TStoreOutcome::NotFound:
        // Kept in the file by an earlier run that had no store, perhaps.
        UseFile(request);
        return;
    case TStoreOutcome::Denied:
        Finish({{}, QStringLiteral("Хранилище паролей отказало в доступе")}, TSecretBackend::SystemStore);
        return;
    case TStoreOutcome::NotDeleted:
        Finish({{}, QStringLiteral("Хранилище паролей не удалило пароль")}, TSecretBackend::SystemStore);
        return;
    case TStoreOutcome::Unavailable:
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
    if (!file.Error.isEmpty() && (request.Operation == TOperation::Read || file.Link)) {
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
