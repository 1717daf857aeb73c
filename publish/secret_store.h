// Where the publishers' passwords are kept: the system's password store (Secret Service on Linux,
// the credential store on Windows) through QtKeychain, or, where no store answers, a file in the
// data folder that only the user may read. Every operation is asynchronous, as the store's jobs
// are: the caller's function is called later from the event loop, never from inside the call.
// Operations run one after another in the order they were asked for. A secret never goes into a
// message or any other file.
#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

namespace publish {

enum class TSecretBackend {
    NotYetKnown, // nothing read or written yet
    SystemStore, // the system's password store holds the secrets
    UserFile,    // no store answered: the user-only file holds them
};

struct TSecretRead
{
    std::optional<QString> Secret; // empty when none is kept under the key
    QString Error;                 // empty, or why it could not be read (Russian)
};

class TSecretStore : public QObject
{
    Q_OBJECT

public:
    // The user-only file lies in `dataFolder`; `service` names the program in the system's store.
    explicit TSecretStore(const QString& dataFolder, const QString& service = QStringLiteral("meteostation"),
                          QObject* parent = nullptr);
    ~TSecretStore() override;

    void Read(const QString& key, std::function<void(const TSecretRead&)> done);
    // `done` gets an empty text on success, otherwise why the secret was not kept.
    void Write(const QString& key, const QString& secret, std::function<void(const QString&)> done);
    void Remove(const QString& key, std::function<void(const QString&)> done);

    TSecretBackend Backend() const { return FBackend; }
    QString FilePath() const { return FFilePath; }
    // How long the system's store may take to answer before it counts as absent.
    void SetStoreTimeoutMs(int timeoutMs) { StoreTimeoutMs = timeoutMs; }

signals:
    void BackendChanged(publish::TSecretBackend backend);

private:
    enum class TOperation { Read, Write, Remove };
    struct TRequest
    {
        TOperation Operation;
        QString Key;
        QString Secret;
        std::function<void(const TSecretRead&)> Done;
    };
    struct TStoreAnswer;

    void Enqueue(TRequest request);
    void StartNext();
    void AskSystemStore(const TRequest& request);
    void OnStoreAnswer(const TStoreAnswer& answer);
    void UseFile(const TRequest& request);
    void Finish(const TSecretRead& result, TSecretBackend backend);
    void SetBackend(TSecretBackend backend);

    QString FFilePath;
    QString Service;
    int StoreTimeoutMs = 10000;
    TSecretBackend FBackend = TSecretBackend::NotYetKnown;
    bool StoreUnanswered = false; // once the store failed to answer, this run uses the file alone
    std::deque<TRequest> Queue;
    bool Running = false;
    quint64 Generation = 0; // tells a late answer of a timed-out job from the current one
};

// What the page says about where the password is kept.
QString SecretBackendText(TSecretBackend backend, const QString& filePath);

} // namespace publish
