// The system's password store on Windows: the user's credential store (advapi32), one generic
// credential per secret named "<service>/<key>", the secret kept as UTF-16 as Windows' own tools
// keep passwords.
#include "publish/secret_store.h"

#include <QByteArray>
#include <string>

// wincred.h uses the types windows.h declares.
#include <windows.h>

#include <wincred.h>

namespace publish {

void TSecretStore::AskSystemStore(const TRequest& request, quint64 generation)
{
    // A missing entry is looked for in the file, a store that cannot be used gives way to it.
    const auto failed = [](TStoreOutcome notFound, TStoreOutcome otherwise) {
        const DWORD error = GetLastError();
        if (error == ERROR_NOT_FOUND)
            return notFound;
        return error == ERROR_ACCESS_DENIED ? TStoreOutcome::Denied : otherwise;
    };
    const std::wstring target = (Service + QLatin1Char('/') + request.Key).toStdWString();
    TStoreAnswer answer{generation, TStoreOutcome::Done, {}};
    switch (request.Operation) {
    case TOperation::Read: {
        PCREDENTIALW credential = nullptr;
        if (CredReadW(target.c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
            answer.Secret = QString::fromUtf16(reinterpret_cast<const char16_t*>(credential->CredentialBlob),
                                               static_cast<qsizetype>(credential->CredentialBlobSize / 2));
            CredFree(credential);
        } else {
            answer.Outcome = failed(TStoreOutcome::NotFound, TStoreOutcome::Unavailable);
        }
        break;
    }
    case TOperation::Write: {
        std::wstring name = target;
        std::wstring user = Service.toStdWString();
        QByteArray blob(reinterpret_cast<const char*>(request.Secret.constData()), request.Secret.size() * 2);
        CREDENTIALW credential{};
        credential.Type = CRED_TYPE_GENERIC;
        credential.TargetName = name.data();
        credential.UserName = user.data();
        credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
        credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
        credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
        if (!CredWriteW(&credential, 0))
            answer.Outcome = failed(TStoreOutcome::Unavailable, TStoreOutcome::Unavailable);
        blob.fill('\0');
        break;
    }
    case TOperation::Remove:
        if (!CredDeleteW(target.c_str(), CRED_TYPE_GENERIC, 0))
            answer.Outcome = failed(TStoreOutcome::NotFound, TStoreOutcome::NotDeleted);
        break;
    }
    // Answered from the event loop, as the other stores answer, so the queue never runs inside itself.
    QMetaObject::invokeMethod(
        this, [this, answer] { OnStoreAnswer(answer); }, Qt::QueuedConnection);
}

} // namespace publish
