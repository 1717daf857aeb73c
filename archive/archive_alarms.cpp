// The alarm history in the archive: each start and end of an alarm as one row.
#include "archive/archive_connection.h"
#include "archive/archive_store.h"

namespace archive {

namespace {

const QString AlarmFailedText = QStringLiteral("Сигнал не записан в архив «%1»: %2");

QString TextColumn(const TStatement& row, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(*row, column)));
}

} // namespace

TWriteResult TArchiveStore::AddAlarm(const TAlarmEntry& alarm)
{
    if (!IsOpen())
        return {false, {}};
    auto attempt = [&]() -> int {
        const TStatement& put = FConnection->PutAlarm;
        put.Reset();
        put.Bind(1, alarm.Minute);
        put.Bind(2, alarm.Kind);
        put.Bind(3, std::int64_t{alarm.Started ? 1 : 0});
        put.Bind(4, alarm.Summary);
        put.Bind(5, alarm.Body);
        const int rc = put.Step();
        put.Reset();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    };
    QString notice;
    const int rc = RunChange(attempt, notice);
    return {rc == SQLITE_OK, ChangeMessage(rc, AlarmFailedText, notice)};
}

std::vector<TAlarmEntry> TArchiveStore::LastAlarms(int count)
{
    std::vector<TAlarmEntry> alarms;
    if (!IsOpen() || count <= 0)
        return alarms;
    const TStatement& last = FConnection->LastAlarms;
    last.Reset();
    last.Bind(1, std::int64_t{count});
    while (last.Step() == SQLITE_ROW)
        alarms.push_back(
            {last.Int64(0), TextColumn(last, 1), last.Int64(2) != 0, TextColumn(last, 3), TextColumn(last, 4)});
    last.Reset();
    return alarms;
}

} // namespace archive
