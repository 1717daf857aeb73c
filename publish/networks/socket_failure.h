// What a socket's error means for an exchange with a service, the same for the HTTP and the TCP
// dialogues: refused, no such host, timed out, the secure connection failed, or anything else on
// the way. A close by the server is none by itself: each dialogue judges it by what came before.
#pragma once

#include "publish/networks/exchange.h"

#include <QAbstractSocket>
#include <optional>

namespace publish {

std::optional<TExchangeFailure> SocketFailure(QAbstractSocket::SocketError error);

} // namespace publish
