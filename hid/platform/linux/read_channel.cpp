#include "hid/platform/linux/read_channel.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace hidplatform {

ReadChannel::ReadChannel(int fd, bool numberedReports)
    : Fd(fd)
    , NumberedReports(numberedReports)
{
    WakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

ReadChannel::~ReadChannel()
{
    if (WakeFd >= 0)
        close(WakeFd);
}

int ReadChannel::Begin(std::uint8_t* buffer, std::size_t length)
{
    if (Closed.load())
        return EBADF;
    // A vanished device polls ready at once and forever: starting reads on it would spin.
    if (Gone.load())
        return ENODEV;
    if (buffer == nullptr)
        return EINVAL;
    std::lock_guard lock(Mutex);
    if (ReadState == State::Pending)
        return EBUSY;
    ReadFrame frame;
    if (!FrameRead(NumberedReports, length, frame))
        return EINVAL;
    if (frame.Offset > 0)
        buffer[0] = 0;
    Buffer = buffer;
    Frame = frame;
    Size = 0;
    ReadState = State::Pending;
    return 0;
}

void ReadChannel::Finish(std::uint32_t size)
{
    ReadState = State::Done;
    Size = size;
    Buffer = nullptr;
}

void ReadChannel::FinishVanished()
{
    Gone.store(true);
    if (ReadState == State::Pending)
        Finish(0);
}

// hidraw answers ENODEV or EIO once its device is gone; no other error of a read means that.
static bool MeansVanished(int error)
{
    return error == ENODEV || error == EIO;
}

void ReadChannel::DrainWake()
{
    std::uint64_t count;
    while (read(WakeFd, &count, sizeof count) > 0) {}
}

WaitResult ReadChannel::Wait(int sliceMs, int& error)
{
    using Clock = std::chrono::steady_clock;
    error = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(sliceMs > 0 ? sliceMs : 0);
    for (;;) {
        if (Settled())
            return WaitResult::Completed;

        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fds[2] = {{Fd, POLLIN, 0}, {WakeFd, POLLIN, 0}};
        const int ready = poll(fds, 2, left > 0 ? static_cast<int>(left) : 0);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            std::lock_guard lock(Mutex);
            if (ReadState == State::Pending)
                Finish(0);
            return WaitResult::Completed;
        }

        if (Closed.load())
            continue; // handled at the top of the loop

        if (fds[0].revents & POLLIN) {
            const ReadAttempt attempt = ReadReady(error);
            if (attempt == ReadAttempt::Completed)
                return WaitResult::Completed;
            if (attempt == ReadAttempt::Recheck)
                continue;
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The device vanished.
            error = ENODEV;
            std::lock_guard lock(Mutex);
            FinishVanished();
            return WaitResult::Completed;
        }

        if (fds[1].revents & POLLIN) {
            DrainWake();
            if (!Closed.load())
                return WaitResult::Woken;
            continue;
        }
        if (ready == 0 || Clock::now() >= deadline)
            return WaitResult::TimedOut;
    }
}

bool ReadChannel::Settled()
{
    std::lock_guard lock(Mutex);
    if (Closed.load()) {
        if (ReadState == State::Pending)
            Finish(0);
        return true;
    }
    return ReadState != State::Pending;
}

ReadChannel::ReadAttempt ReadChannel::ReadReady(int& error)
{
    std::lock_guard lock(Mutex);
    if (ReadState != State::Pending || Closed.load())
        return ReadAttempt::Recheck;
    const ssize_t n = read(Fd, Buffer + Frame.Offset, Frame.Capacity);
    if (n > 0) {
        Finish(FramedReadSize(Frame, static_cast<std::size_t>(n)));
        return ReadAttempt::Completed;
    }
    if (n == 0) {
        // The other end is gone (a hidraw read never yields an empty report).
        error = ENODEV;
        FinishVanished();
        return ReadAttempt::Completed;
    }
    if (errno == EAGAIN || errno == EINTR)
        return ReadAttempt::NotYet;
    error = errno;
    if (MeansVanished(error))
        FinishVanished();
    else
        Finish(0);
    return ReadAttempt::Completed;
}

void ReadChannel::Wake()
{
    if (WakeFd < 0)
        return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(WakeFd, &one, sizeof one);
}

void ReadChannel::Close()
{
    {
        std::lock_guard lock(Mutex);
        Closed.store(true);
        if (ReadState == State::Pending)
            Finish(0);
    }
    Wake();
}

std::uint32_t ReadChannel::CompletedSize()
{
    std::lock_guard lock(Mutex);
    return ReadState == State::Done ? Size : 0;
}

void ReadChannel::Cancel()
{
    std::lock_guard lock(Mutex);
    ReadState = State::Idle;
    Buffer = nullptr;
    Size = 0;
}

} // namespace hidplatform
