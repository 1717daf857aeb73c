// The publisher's state in words.
#include "publish/mqtt/mqtt_status.h"

#include <algorithm>

namespace publish {

QString MqttStatusText(const TMqttStatus& status, const QDateTime& now)
{
    switch (status.State) {
    case TMqttState::Off:
        return QStringLiteral("Публикация выключена");
    case TMqttState::Invalid:
        return QStringLiteral("Публикация не начата: %1").arg(status.Reason);
    case TMqttState::Connecting:
        return QStringLiteral("Подключение к %1…").arg(status.Broker);
    case TMqttState::Connected:
        return QStringLiteral("Подключено к %1").arg(status.Broker);
    case TMqttState::Waiting:
        break;
    }
    // Rounded up, so the count never shows 0 before the attempt starts.
    const qint64 leftMs = std::max<qint64>(0, now.msecsTo(status.NextAttempt));
    const qint64 seconds = std::max<qint64>(1, (leftMs + 999) / 1000);
    return QStringLiteral("Нет связи с %1: %2, следующая попытка через %3 с")
        .arg(status.Broker, status.Reason)
        .arg(seconds);
}

QString MqttLastSentText(const TMqttStatus& status, const QDateTime& now)
{
    if (!status.LastSent.isValid())
        return QStringLiteral("Сообщения ещё не отправлялись");
    const QDateTime sent = status.LastSent.toLocalTime();
    if (sent.date() == now.toLocalTime().date())
        return QStringLiteral("Последнее сообщение отправлено в %1").arg(sent.toString(QStringLiteral("HH:mm:ss")));
    return QStringLiteral("Последнее сообщение отправлено %1")
        .arg(sent.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
}

} // namespace publish
