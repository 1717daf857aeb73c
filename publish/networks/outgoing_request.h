// One request to a service, ready to go: what the transport sends, and how many of the waiting
// readings it carries.
#pragma once

#include "publish/networks/service_catalog.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

namespace publish {

struct TOutgoingRequest
{
    TTransport Transport = TTransport::HttpGet;
    // HTTP: the whole address with its query; TCP: tcp://host:port.
    QUrl Url;
    // HTTP headers beside the user agent (Windy's Authorization).
    QList<QPair<QByteArray, QByteArray>> Headers;
    // CWOP's login line; empty otherwise.
    QByteArray Login;
    // Narodmon's text packet or CWOP's packet line.
    QByteArray Packet;
    // The first this many of the readings offered (oldest first) go with this request.
    int Readings = 0;
};

} // namespace publish
