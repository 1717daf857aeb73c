// The platform layer on Windows: the device-setup library for the present HID interfaces, the HID
// library for identification and capabilities (both bound at run time), file I/O on the device
// paths with reads that end in a completion routine, and a hidden window for device-change
// notices. Reports are framed with their id byte by the system already.
#pragma once

#include "hid/platform/handle_table.h"
#include "hid/platform/hid_platform.h"
#include "hid/platform/windows/hid_library.h"

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace hidplatform {

class TDeviceNoticeWindow;

class WindowsPlatform : public Platform
{
public:
    // The library names only change for tests.
    explicit WindowsPlatform(std::string setupLibrary = "SetupApi.dll", std::string hidLibrary = "HID.dll");
    ~WindowsPlatform() override;
    WindowsPlatform(const WindowsPlatform&) = delete;
    WindowsPlatform& operator=(const WindowsPlatform&) = delete;

    bool Load() override;
    void Unload() override;
    bool Loaded() const override;

    bool EnumeratePresent(std::vector<PresentInterface>& out) override;

    Handle Open(const std::string& path, Access access) override;
    void Close(Handle handle) override;

    bool GetAttributes(Handle handle, Attributes& out) override;
    bool GetProductString(Handle handle, std::u16string& out) override;
    bool GetPreparsedData(Handle handle, PreparsedData& out) override;
    void FreePreparsedData(PreparsedData data) override;
    bool GetCaps(PreparsedData data, Caps& out) override;

    bool Write(Handle handle, const std::uint8_t* buffer, std::size_t length, std::uint32_t& written) override;

    bool BeginRead(Handle handle, std::uint8_t* buffer, std::size_t length) override;
    WaitResult WaitRead(Handle handle, int sliceMs) override;
    void WakeRead(Handle handle) override;
    std::uint32_t CompletedReadSize(Handle handle) override;
    void CancelRead(Handle handle) override;

    std::uint32_t LastError() const override;
    std::string ErrorText(std::uint32_t code) const override;

    // The notices need a message loop on the calling thread (the program's main thread).
    void SetDeviceChangeHandler(std::function<void()> handler) override;

    // The window that receives the notices (none before a handler was set to a loaded platform).
    HWND NoticeWindowForTests() const;

    struct OpenDevice;

private:
    std::shared_ptr<OpenDevice> Find(Handle handle);
    // For the HID library's queries: none while the library is not loaded.
    std::shared_ptr<OpenDevice> FindForQuery(Handle handle);
    // The device of this thread's outstanding read on `handle`, also after the handle was closed.
    std::shared_ptr<OpenDevice> FindForReader(Handle handle);
    void StartNotices();

    const std::string SetupLibraryName;
    const std::string HidLibraryName;
    bool SetupLoaded = false;
    THidLibrary Hid;

    std::function<void()> ChangeHandler;
    std::unique_ptr<TDeviceNoticeWindow> NoticeWindow;

    // The read that each thread has outstanding, with its device: kept alive until the read has
    // ended, also when the handle is closed meanwhile.
    struct OutstandingRead
    {
        Handle Id = InvalidHandle;
        std::shared_ptr<OpenDevice> Device;
    };
    void SetOutstandingRead(OutstandingRead read);

    THandleTable<OpenDevice> Handles;
    std::mutex ReadsMutex;
    std::unordered_map<DWORD, OutstandingRead> OutstandingReads; // by thread id
};

} // namespace hidplatform
