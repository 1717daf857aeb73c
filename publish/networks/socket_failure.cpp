// A socket's error as an exchange's failure; see socket_failure.h.
#include "publish/networks/socket_failure.h"

namespace publish {

std::optional<TExchangeFailure> SocketFailure(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        return std::nullopt;
    case QAbstractSocket::ConnectionRefusedError:
        return TExchangeFailure::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError:
        return TExchangeFailure::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return TExchangeFailure::TimedOut;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return TExchangeFailure::Tls;
    default:
        return TExchangeFailure::Network;
    }
}

} // namespace publish
