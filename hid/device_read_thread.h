// The read thread of a checked-out device: one read at a time, each report (and each read that
// could not be started) handed to the main thread, the next read only after the handler returned.
#pragma once

#include "hid/platform/hid_platform.h"

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class THidDevice;

class THidDeviceReadThread : public QThread
{
public:
    // Main thread: sizes the report buffer from the device's capabilities. Not started here.
    explicit THidDeviceReadThread(THidDevice& device);
    ~THidDeviceReadThread() override;

    std::uint32_t ErrorCode() const { return ErrorCode_; }
    std::uint32_t BytesRead() const { return BytesRead_; }
    // The body has ended (stop request, or a handler's exception ended it).
    bool BodyEnded() const { return BodyEnded_.load(); }

private:
    friend class THidDevice;

    void run() override;
    // Any thread: noticed at once by a waiting read (through WakeRead) or a failed-start pause.
    void RequestStop();
    bool StopRequested() const { return StopRequested_.load(); }
    // After a read start failed: pause one slice, or less when a stop is requested.
    void PauseAfterFailedStart(int sliceMs);
    void HandOver(void (THidDeviceReadThread::*deliver)());
    void DeliverReport();
    void DeliverError();

    THidDevice* Device;
    hidplatform::Platform& Platform;
    std::uint32_t ErrorCode_ = 0;
    std::uint32_t BytesRead_ = 0;
    std::vector<std::uint8_t> ReportBuffer;
    std::size_t ReportLength = 0;
    std::atomic<bool> StopRequested_{false};
    std::atomic<bool> BodyEnded_{false};
    // Main thread only: a delivery of this thread is running its handler right now.
    bool InHandOver = false;
    std::mutex PauseLock;
    std::condition_variable PauseWake;
};
