// The station's id, made once per data folder.
#include "publish/station_id.h"

#include "publish/publish_file.h"

#include <QRandomGenerator>

namespace publish {
namespace {

const QString IdKey = QStringLiteral("station/id");
constexpr int IdDigits = 12;

QString NewStationId()
{
    const quint64 bits = QRandomGenerator::system()->generate64();
    return QStringLiteral("%1").arg(bits & 0xFFFFFFFFFFFFull, IdDigits, 16, QLatin1Char('0'));
}

} // namespace

bool IsStationId(const QString& id)
{
    if (id.size() != IdDigits)
        return false;
    for (const QChar c : id)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    return true;
}

TStationId LoadOrCreateStationId(const QString& dataFolder)
{
    QSettings file = OpenPublishFile(dataFolder);
    const QString kept = file.value(IdKey).toString();
    if (IsStationId(kept))
        return {kept, {}};
    // None yet, or one edited by hand into something a topic cannot carry: a new one.
    TStationId made{NewStationId(), {}};
    file.setValue(IdKey, made.Id);
    made.Error = SyncPublishFile(file);
    return made;
}

} // namespace publish
