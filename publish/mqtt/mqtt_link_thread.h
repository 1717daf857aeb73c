// What the MQTT link's thread does its own way on each system (mqtt_link_thread_posix.cpp,
// mqtt_link_thread_windows.cpp): getting ready for network writes, and sleeping until the broker's
// socket, a request from the window or the next thing due wakes it.
#pragma once

#include <chrono>
#include <cstdint>

namespace publish {

// Makes the calling thread ready for network writes (POSIX: a peer that went away gives an error,
// not SIGPIPE).
void PrepareLinkThread();

// A handle the window's side signals when it leaves a request for the link's thread, which waits
// on it together with the broker's socket. Signalled again before it is cleared, it stays
// signalled once. Where the system gives no handle (no descriptors left) it is not valid, and the
// link's thread looks for requests in short slices instead.
class TLinkWake
{
public:
    TLinkWake();
    ~TLinkWake();
    TLinkWake(const TLinkWake&) = delete;
    TLinkWake& operator=(const TLinkWake&) = delete;

    bool Valid() const { return Reader != -1; }
    // Any thread; never blocks.
    void Signal();
    // The link's thread, once it saw the signal and before it takes the requests.
    void Clear();

    // Descriptors on POSIX, sockets on Windows; -1 for none.
    std::intptr_t Reader = -1;
    std::intptr_t Writer = -1;
};

struct TLinkReady
{
    bool Socket = false; // readable, writable as asked, or failed
    bool Woken = false;
};

// The failure a socket holds, as the system's code (0: none): how a connection attempt ended, which
// Windows leaves only there (a read then says no more than that the connection is gone).
int PendingSocketError(int socket);

// Waits until `socket` (-1: none) can be read, or written when `write` is set, or has failed, or
// `wake` (null: not waited on) was signalled, or `timeout` passed (negative: no limit).
TLinkReady WaitForLink(const TLinkWake* wake, int socket, bool write, std::chrono::milliseconds timeout);

} // namespace publish
