// The system's password store through QtKeychain: the Secret Service on Linux.
#include "publish/secret_store.h"

#include <qt6keychain/keychain.h>

namespace publish {

void TSecretStore::AskSystemStore(const TRequest& request, quint64 generation)
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
    connect(job, &QKeychain::Job::finished, this, [this, generation](QKeychain::Job* finished) {
        TStoreAnswer answer{generation, TStoreOutcome::Unavailable, {}};
        switch (finished->error()) {
        case QKeychain::NoError:
            answer.Outcome = TStoreOutcome::Done;
            if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished))
                answer.Secret = read->textData();
            break;
        case QKeychain::EntryNotFound:
            answer.Outcome = TStoreOutcome::NotFound;
            break;
        case QKeychain::AccessDenied:
        case QKeychain::AccessDeniedByUser:
            answer.Outcome = TStoreOutcome::Denied;
            break;
        case QKeychain::CouldNotDeleteEntry:
            answer.Outcome = TStoreOutcome::NotDeleted;
            break;
        case QKeychain::NoBackendAvailable:
        case QKeychain::NotImplemented:
        case QKeychain::OtherError:
            break;
        }
        OnStoreAnswer(answer);
    });
    job->start();
}

} // namespace publish
