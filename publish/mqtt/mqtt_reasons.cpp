// The failure texts of the MQTT link.
#include "publish/mqtt/mqtt_reasons.h"

#include "base/system_text.h"

#include <QDir>
#include <cerrno>
#include <mosquitto.h>
#include <system_error>

namespace publish {
namespace {

// Winsock reports its failures with codes of its own (WSAGetLastError, which libmosquitto leaves in
// errno on Windows); they are fixed by the system's interface, so they are named here by number and
// read as the POSIX codes that mean the same.
int PosixCodeOf(int code)
{
    switch (code) {
    case 10061: // WSAECONNREFUSED
        return ECONNREFUSED;
    case 10054: // WSAECONNRESET
        return ECONNRESET;
    case 10053: // WSAECONNABORTED
        return ECONNABORTED;
    case 10060: // WSAETIMEDOUT
        return ETIMEDOUT;
    case 10051: // WSAENETUNREACH
        return ENETUNREACH;
    case 10065: // WSAEHOSTUNREACH
        return EHOSTUNREACH;
    case 10050: // WSAENETDOWN
        return ENETDOWN;
    case 10049: // WSAEADDRNOTAVAIL
        return EADDRNOTAVAIL;
    default:
        return code;
    }
}

QString ErrnoReason(int systemCode)
{
    const int code = PosixCodeOf(systemCode);
    switch (code) {
    case ECONNREFUSED:
        return QStringLiteral("брокер не принимает соединения на этом порту");
    case ECONNRESET:
    case EPIPE:
    case ECONNABORTED:
        // Whether the broker's end closed or reset depends on the moment: to the owner both are
        // the same break.
        return QStringLiteral("связь с брокером прервалась");
    case ETIMEDOUT:
        return QStringLiteral("брокер не отвечает");
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
        return QStringLiteral("сеть до брокера недоступна");
    case EADDRNOTAVAIL:
        return QStringLiteral("адрес брокера недоступен");
    default:
        break;
    }
    // The system's words for the rest (a Winsock code only the system's own table knows).
    const std::error_category& words = code >= 10000 ? std::system_category() : std::generic_category();
    return QString::fromStdString(base::TrimErrorText(words.message(code)));
}

} // namespace

QString MqttRefusalReason(int connackCode)
{
    switch (connackCode) {
    case 1:
        return QStringLiteral("брокер не поддерживает версию протокола MQTT 3.1.1");
    case 2:
        return QStringLiteral("брокер отверг идентификатор клиента");
    case 3:
        return QStringLiteral("брокер временно не принимает клиентов");
    case 4:
    case 5:
        return QStringLiteral("брокер отверг имя пользователя или пароль");
    default:
        return QStringLiteral("брокер отказал в подключении (код %1)").arg(connackCode);
    }
}

QString MqttFailureReason(int rc, int errnoValue, bool certificateRejected, const QString& host)
{
    switch (rc) {
    case MOSQ_ERR_EAI:
        return QStringLiteral("адрес «%1» не найден").arg(host);
    case MOSQ_ERR_ERRNO:
        return ErrnoReason(errnoValue);
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        if (certificateRejected)
            return QStringLiteral("сертификат брокера не прошёл проверку");
        return QStringLiteral("не удалось установить защищённое соединение (TLS)");
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("связь с брокером прервалась");
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("брокер перестал отвечать");
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
        return QStringLiteral("брокер ответил не по протоколу MQTT");
    case MOSQ_ERR_NOMEM:
        return QStringLiteral("недостаточно памяти");
    case MOSQ_ERR_CONN_REFUSED:
    case MOSQ_ERR_AUTH:
        return QStringLiteral("брокер отказал в подключении");
    default:
        return QStringLiteral("ошибка MQTT (код %1)").arg(rc);
    }
}

QString MqttConnectFailureReason(int rc, int errnoValue, bool certificateRejected, const QString& host)
{
    // A connection never made cannot break: a reset now is the port refusing it (wine reports a
    // refused loopback port so, at once).
    if (rc == MOSQ_ERR_CONN_LOST || (rc == MOSQ_ERR_ERRNO && PosixCodeOf(errnoValue) == ECONNRESET))
        return ErrnoReason(ECONNREFUSED);
    return MqttFailureReason(rc, errnoValue, certificateRejected, host);
}

QString MqttNoAnswerReason(int seconds)
{
    return QStringLiteral("брокер принял соединение, но не ответил за %1 с").arg(seconds);
}

QString MqttCaFileReason(const QString& caFile)
{
    return QStringLiteral("файл сертификата «%1» не подходит").arg(QDir::toNativeSeparators(caFile));
}

} // namespace publish
