// The link's thread on POSIX systems: SIGPIPE blocked, so a write to a broker that went away
// (TLS writes go through plain write()) fails with EPIPE instead of ending the program.
#include "publish/mqtt/mqtt_link.h"

#include <csignal>
#include <pthread.h>

namespace publish {

void PrepareLinkThread()
{
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

} // namespace publish
