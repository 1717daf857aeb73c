// Why the link to the broker failed, in the Russian words that follow «Нет связи с …: ». They
// never carry the password or anything else of the settings but the address.
#pragma once

#include <QString>

namespace publish {

// What the broker's CONNACK refused with (MQTT 3.1.1 return codes 1..5).
QString MqttRefusalReason(int connackCode);

// What a libmosquitto call's result `rc` means, with the errno it left for MOSQ_ERR_ERRNO.
// `certificateRejected`: the TLS library said that the broker's certificate failed the check.
QString MqttFailureReason(int rc, int errnoValue, bool certificateRejected, const QString& host);
// The same for the call that starts a connection, where a lost connection means a refused one.
QString MqttConnectFailureReason(int rc, int errnoValue, bool certificateRejected, const QString& host);

// The broker took the connection but sent no CONNACK within `seconds`.
QString MqttNoAnswerReason(int seconds);

// The CA file given could not be used.
QString MqttCaFileReason(const QString& caFile);

} // namespace publish
