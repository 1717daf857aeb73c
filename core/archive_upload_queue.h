// The weather networks' upload queue kept in the weather archive: the archive's samples and
// station hours as the readings the uploaders send, and each service's position in it. Without an
// open archive every read and write fails with the reason, and the uploaders wait.
#pragma once

#include "publish/networks/upload_queue.h"

namespace archive {
class TArchiveStore;
}

class TArchiveUploadQueue : public publish::TReadingSource, public publish::TPositionStore
{
public:
    // `store` may be null or closed; it outlives the queue.
    explicit TArchiveUploadQueue(archive::TArchiveStore* store);
    // The archive once it is open (or none again).
    void SetStore(archive::TArchiveStore* store) { Store = store; }

    publish::TSourceReadings ReadingsAfter(const QDateTime& after, int limit) override;
    publish::TSourceCount CountAfter(const QDateTime& after) override;
    publish::TPositionRead Position(const QString& service) override;
    publish::TPositionWrite Advance(const QString& service, const QDateTime& sentUpTo) override;
    publish::TPositionWrite Reset(const QString& service, const QDateTime& sentUpTo) override;
    publish::TSourceReadings LateReadings(const QString& service, int limit) override;
    publish::TSourceCount LateCount(const QString& service) override;
    publish::TPositionWrite DoneLate(const QString& service, const QDateTime& upTo) override;
    publish::TAttemptRead LastAttempt(const QString& service) override;
    publish::TPositionWrite NoteAttempt(const QString& service, const QDateTime& at) override;

private:
    bool Usable() const;
    archive::TArchiveStore* Store;
};
