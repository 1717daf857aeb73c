// Synchronous hand-over of a call from another thread to the main thread.
//
// A worker thread calls RunOnMainThread and blocks until the main thread has run the call.
// The main thread runs such calls from its event loop and also inside WaitServingHandOvers,
// which it uses while it waits for a worker to end, so a worker blocked in a hand-over and the
// main thread waiting for that worker can never deadlock.
#pragma once

#include <functional>

namespace base {

// Runs `call` on the main thread and returns when it has returned. Called on the main thread it
// runs `call` at once. An exception that escapes `call` is rethrown here, in the calling thread.
void RunOnMainThread(const std::function<void()>& call);

// Main thread only: returns once `done()` is true, running pending hand-overs meanwhile.
// `done` is checked after every hand-over and whenever WakeMainThreadWaiters is called.
void WaitServingHandOvers(const std::function<bool()>& done);

// Any thread: makes a WaitServingHandOvers check its condition again (call it after the state
// its condition reads has changed, e.g. when a worker's body ends).
void WakeMainThreadWaiters();

// Main thread: runs every hand-over that is waiting now. Returns how many ran.
int RunPendingHandOvers();

} // namespace base
