// The publisher's state as the page shows it, in plain Russian: connected to which broker, or why
// not and when the next attempt comes, and when the last message went out.
#pragma once

#include <QDateTime>
#include <QString>

namespace publish {

enum class TMqttState {
    Off,        // publishing switched off
    Invalid,    // the settings cannot be used; Reason says why
    Connecting, // an attempt is under way
    Connected,
    Waiting, // no link: Reason says why, NextAttempt when the next attempt starts
};

struct TMqttStatus
{
    TMqttState State = TMqttState::Off;
    QString Broker; // "host:port"
    QString Reason;
    int RetrySeconds = 0;  // Waiting: the pause before the next attempt
    QDateTime NextAttempt; // Waiting: when it ends
    QDateTime LastSent;    // the last message handed to the network; invalid when none yet

    friend bool operator==(const TMqttStatus&, const TMqttStatus&) = default;
};

// «Подключено к …», «Нет связи с …: <reason>, следующая попытка через N с» and the like; `now`
// counts the seconds down to the next attempt.
QString MqttStatusText(const TMqttStatus& status, const QDateTime& now);

// «Последнее сообщение отправлено в 14:03:05» (with the date when it was not today), or that
// none has been sent yet.
QString MqttLastSentText(const TMqttStatus& status, const QDateTime& now);

} // namespace publish
