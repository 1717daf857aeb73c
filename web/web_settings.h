// What the web page's server is set to: whether it runs, its port, who may reach it, the access
// code for the home network; and the limits that keep a misbehaving client from tying it up.
#pragma once

#include <QHostAddress>
#include <QString>
#include <cstdint>
#include <functional>

namespace web {

enum class TWebScope {
    ThisComputer, // listens on 127.0.0.1 only
    HomeNetwork,  // listens on every interface; other computers need the access code
};

struct TWebLimits
{
    int RequestLineBytes = 2048;               // 414 past it
    int HeaderBytes = 8192;                    // the request line and headers together; 431 past it
    int BodyBytes = 1024;                      // 413 past it: the pages send no bodies
    int Connections = 64;                      // at once; 503 past it
    int RequestTimeoutMs = 10'000;             // from the connection to the whole request: a trickle counts no more
    int HeartbeatMs = 15'000;                  // the live stream's comment line, so a lost connection is noticed
    std::int64_t StreamBacklogBytes = 1 << 20; // a live client that reads nothing is dropped past it
};

struct TWebSettings
{
    bool Enabled = false;
    quint16 Port = 8080; // 0: any free port (the tests)
    TWebScope Scope = TWebScope::ThisComputer;
    QString AccessCode;
    TWebLimits Limits;
    // Which addresses are this computer's (no code asked); the loopback addresses when empty. The
    // tests narrow it to 127.0.0.1 so that a client bound to 127.0.0.2 stands for another computer.
    std::function<bool(const QHostAddress&)> IsThisComputer;
};

} // namespace web
