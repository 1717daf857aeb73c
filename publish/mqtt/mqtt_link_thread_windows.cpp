// The link's thread on Windows, which has no SIGPIPE: nothing to prepare. The wake-up handle is a
// pair of connected loopback sockets (select() waits on sockets only), waited on with select(),
// which also reports a connection attempt that failed.
#include "publish/mqtt/mqtt_link_thread.h"

#include <thread>
#include <winsock2.h>

namespace publish {
namespace {

SOCKET Socket(std::intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

bool NonBlocking(SOCKET socket)
{
    u_long on = 1;
    return ioctlsocket(socket, static_cast<long>(FIONBIO), &on) == 0;
}

} // namespace

void PrepareLinkThread()
{
}

// The sockets' library is started by libmosquitto's initialisation, which the link runs first.
TLinkWake::TLinkWake()
{
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    SOCKET writer = INVALID_SOCKET;
    SOCKET reader = INVALID_SOCKET;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 && listen(listener, 1) == 0 &&
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        writer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (writer != INVALID_SOCKET &&
            connect(writer, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            reader = accept(listener, nullptr, nullptr);
    }
    closesocket(listener);
    if (reader == INVALID_SOCKET || !NonBlocking(reader) || !NonBlocking(writer)) {
        if (reader != INVALID_SOCKET)
            closesocket(reader);
        if (writer != INVALID_SOCKET)
            closesocket(writer);
        return;
    }
    Reader = static_cast<std::intptr_t>(reader);
    Writer = static_cast<std::intptr_t>(writer);
}

TLinkWake::~TLinkWake()
{
    if (Valid()) {
        closesocket(Socket(Reader));
        closesocket(Socket(Writer));
    }
}

void TLinkWake::Signal()
{
    // A full buffer already holds a signal: the send that fails is not needed.
    const char byte = 1;
    if (Valid())
        send(Socket(Writer), &byte, 1, 0);
}

void TLinkWake::Clear()
{
    char bytes[64];
    while (Valid() && recv(Socket(Reader), bytes, sizeof bytes, 0) > 0) {}
}

int PendingSocketError(int socket)
{
    int error = 0;
    int size = sizeof error;
    return getsockopt(static_cast<SOCKET>(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0
        ? error
        : 0;
}

TLinkReady WaitForLink(const TLinkWake* wake, int socket, bool write, std::chrono::milliseconds timeout)
{
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    const SOCKET link = static_cast<SOCKET>(socket);
    const bool waitWake = wake != nullptr && wake->Valid();
    if (socket != -1) {
        FD_SET(link, &readable);
        FD_SET(link, &failed);
        if (write)
            FD_SET(link, &writable);
    }
    if (waitWake)
        FD_SET(Socket(wake->Reader), &readable);
    if (socket == -1 && !waitWake) {
        // select() refuses to wait on nothing.
        if (timeout.count() > 0)
            std::this_thread::sleep_for(timeout);
        return {};
    }
    timeval limit{};
    limit.tv_sec = static_cast<long>(timeout.count() / 1000);
    limit.tv_usec = static_cast<long>(timeout.count() % 1000 * 1000);
    if (select(0, &readable, &writable, &failed, timeout.count() < 0 ? nullptr : &limit) <= 0)
        return {};
    TLinkReady ready;
    ready.Socket = socket != -1 && (FD_ISSET(link, &readable) || FD_ISSET(link, &writable) || FD_ISSET(link, &failed));
    ready.Woken = waitWake && FD_ISSET(Socket(wake->Reader), &readable);
    return ready;
}

} // namespace publish
