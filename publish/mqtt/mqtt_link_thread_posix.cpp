// The link's thread on POSIX systems: SIGPIPE blocked, so a write to a broker that went away
// (TLS writes go through plain write()) fails with EPIPE instead of ending the program; the wake-up
// handle is a socket pair, waited on with poll().
#include "publish/mqtt/mqtt_link_thread.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace publish {

void PrepareLinkThread()
{
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

TLinkWake::TLinkWake()
{
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0)
        return;
    Reader = ends[0];
    Writer = ends[1];
}

TLinkWake::~TLinkWake()
{
    if (Valid()) {
        close(static_cast<int>(Reader));
        close(static_cast<int>(Writer));
    }
}

void TLinkWake::Signal()
{
    // A full buffer already holds a signal: the write that fails is not needed.
    const char byte = 1;
    if (Valid() && send(static_cast<int>(Writer), &byte, 1, MSG_NOSIGNAL) < 0)
        return;
}

void TLinkWake::Clear()
{
    char bytes[64];
    while (Valid() && recv(static_cast<int>(Reader), bytes, sizeof bytes, 0) > 0) {}
}

int PendingSocketError(int socket)
{
    int error = 0;
    socklen_t size = sizeof error;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) == 0 ? error : 0;
}

TLinkReady WaitForLink(const TLinkWake* wake, int socket, bool write, std::chrono::milliseconds timeout)
{
    pollfd waited[2];
    nfds_t count = 0;
    if (socket != -1)
        waited[count++] = {socket, static_cast<short>(POLLIN | (write ? POLLOUT : 0)), 0};
    const nfds_t wakeAt = count;
    if (wake != nullptr && wake->Valid())
        waited[count++] = {static_cast<int>(wake->Reader), POLLIN, 0};
    // An interrupted wait reports nothing ready; the caller looks again.
    if (poll(waited, count, timeout.count() < 0 ? -1 : static_cast<int>(timeout.count())) <= 0)
        return {};
    TLinkReady ready;
    ready.Socket = socket != -1 && waited[0].revents != 0;
    ready.Woken = wakeAt < count && waited[wakeAt].revents != 0;
    return ready;
}

} // namespace publish
