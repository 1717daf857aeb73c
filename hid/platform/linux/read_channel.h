// One outstanding read on a non-blocking descriptor, waited for in slices. An eventfd sits in the
// same poll, so a wake or a close from another thread ends the wait at once. The kernel's bytes go
// into the caller's buffer only inside Wait, under the channel's lock, so after Cancel or Close the
// buffer is never written. Once the device has vanished (hang-up, ENODEV, EIO), every later read
// fails to start with ENODEV, so a reader that keeps trying sees an error instead of reads that
// end at once with no data.
#pragma once

#include "hid/platform/hid_platform.h"
#include "hid/platform/linux/report_framing.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace hidplatform {

class ReadChannel
{
public:
    // The descriptor is borrowed: its owner keeps it open for the channel's lifetime.
    ReadChannel(int fd, bool numberedReports);
    ~ReadChannel();
    ReadChannel(const ReadChannel&) = delete;
    ReadChannel& operator=(const ReadChannel&) = delete;

    // False when the wake descriptor could not be made (errno tells why).
    bool Valid() const { return WakeFd >= 0; }

    // 0, or the error code why the read cannot start.
    int Begin(std::uint8_t* buffer, std::size_t length);
    // error receives the code of a read that ended in failure, 0 otherwise.
    WaitResult Wait(int sliceMs, int& error);
    void Wake();
    // Ends the current and every later read with no data.
    void Close();
    std::uint32_t CompletedSize();
    void Cancel();

private:
    enum class State { Idle, Pending, Done };

    void Finish(std::uint32_t size); // with Mutex held
    void FinishVanished();           // with Mutex held
    void DrainWake();
    // Whether no read is pending any more; a pending read of a closed channel ends empty.
    bool Settled();
    // After poll found the descriptor readable: the read ended (with `error` when it failed), it is
    // no longer pending (looked at again, as at the top of the wait), or nothing came yet.
    enum class ReadAttempt { Completed, Recheck, NotYet };
    ReadAttempt ReadReady(int& error);

    const int Fd;
    const bool NumberedReports;
    int WakeFd = -1;
    std::atomic<bool> Closed{false};
    std::atomic<bool> Gone{false}; // the device behind the descriptor has vanished

    std::mutex Mutex;
    State ReadState = State::Idle;
    std::uint8_t* Buffer = nullptr;
    ReadFrame Frame;
    std::uint32_t Size = 0;
};

} // namespace hidplatform
