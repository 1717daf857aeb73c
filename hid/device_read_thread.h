// The read thread of a checked-out device: one read at a time, each report (and each read that
// could not be started) handed to the main thread, the next read only after the handler returned.
#pragma once

#include "hid/platform/hid_platform.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class THidDevice;

// A plain std::thread rather than a QThread: its end is a join that every thread checker sees, where
// QThread signals its end under Qt's own futex lock.
class THidDeviceReadThread
{
public:
    // Main thread: sizes the report buffer from the device's capabilities. Not started here.
    explicit THidDeviceReadThread(THidDevice& device);
    // Joins the thread unless it was left to free itself.
    ~THidDeviceReadThread();
    THidDeviceReadThread(const THidDeviceReadThread&) = delete;
    THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;

    void Start();
    // Main thread, after BodyEnded: waits until the thread has returned.
    void Join();

    std::uint32_t ErrorCode() const { return ErrorCode_; }
    std::uint32_t BytesRead() const { return BytesRead_; }
    // The body has ended (stop request, or a handler's exception ended it).
    bool BodyEnded() const { return BodyEnded_.load(); }

private:
    friend class THidDevice;

    void Run();
    // Main thread, from inside one of this thread's deliveries: the thread deletes itself once its
    // body has ended, so nobody has to wait for it.
    void FreeWhenEnded();
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
    // Set only while the thread is blocked in a delivery, so the thread reads it after that.
    bool FreesItself = false;
    std::thread Worker;
};
