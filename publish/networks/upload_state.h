// Where one service stands, for the owner: the last success, how many readings wait, what was
// skipped or refused, and the last error with when it happened, in plain Russian.
#pragma once

#include <QDateTime>
#include <QString>

namespace publish {

struct TUploadState
{
    QDateTime LastSuccess; // UTC; invalid: none yet
    qint64 Waiting = 0;
    qint64 Sent = 0;     // readings the service accepted since the uploader started
    qint64 Skipped = 0;  // too old for the service, or not the newest where only the present counts
    qint64 Rejected = 0; // refused for good by the service's own answer
    QDateTime LastErrorAt;
    QString LastError; // Russian; names no key
    // Nothing more is sent until the owner changes the settings (a refused key, an unwritable queue).
    bool Stopped = false;
    QDateTime NextAttempt; // UTC; invalid while a request is out or the service stopped
};

struct TStateTexts
{
    QString LastSuccess; // «Последняя удачная отправка: 31.01.2026 15:34»
    QString Waiting;     // «Ждут отправки: 12»
    QString LastError; // «Последняя ошибка (31.01.2026 15:30): сервер отказал в соединении»
};

// Times in the computer's local time, as the window shows them.
TStateTexts StateTexts(const TUploadState& state);

} // namespace publish
