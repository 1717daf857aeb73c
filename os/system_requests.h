// What the system or a second start of the program asks of a running program, each system in its
// own way: to end (SIGTERM and SIGINT on Linux: logout, Ctrl+C, `kill`; the end of the session on
// Windows), and to bring its windows forward (SIGUSR1 on Linux, a message to its windows on
// Windows). Every request arrives on the main thread, from the event loop.
#pragma once

#include <cstdint>
#include <functional>

class QObject;

namespace os {

// From now on a request to end runs `action`, as long as `context` lives.
void OnTerminationRequest(QObject* context, std::function<void()> action);

// From now on a request to come forward runs `action`. Call before the program can be found by a
// second start: on Linux the request's signal would end a program without this.
void OnBringForwardRequest(std::function<void()> action);

// Asks the program `processId` to bring its windows forward; false when there is no such program.
bool RequestBringForward(std::int64_t processId);

} // namespace os
