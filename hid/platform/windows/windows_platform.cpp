#include "hid/platform/windows/windows_platform.h"

#include "base/system_text.h"
#include "hid/platform/error_text.h"
#include "hid/platform/windows/device_notice_window.h"
#include "hid/platform/windows/module_library.h"
#include "hid/platform/windows/setup_library.h"

#include <hidpi.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cwchar>
#include <vector>

namespace hidplatform {

namespace {

// The calling thread's last error, kept at once after a failed call of the system (or set for a
// failure of our own), so that nothing in between can overwrite it.
thread_local std::uint32_t LastErrorCode = 0;

void KeepLastError()
{
    LastErrorCode = GetLastError();
}

void SetError(DWORD code)
{
    LastErrorCode = code;
}

// A cancelled read normally ends at once; the wait for its end is bounded all the same.
constexpr DWORD CancelWaitSliceMs = 100;
constexpr int CancelWaitSlices = 100;

// CancelIo is found in kernel32 at each call, so a system without it still runs (nothing is
// cancelled then). It ends the calling thread's outstanding I/O on the file.
bool CancelThreadIo(HANDLE file)
{
    HMODULE kernel = nullptr;
    if (!ModuleOpen(kernel, "kernel32.dll"))
        return false;
    BOOL(WINAPI * cancel)(HANDLE) = nullptr;
    bool found = true;
    ModuleSymbolChecked(kernel, "CancelIo", cancel, found);
    const bool cancelled = found && cancel(file) != FALSE;
    ModuleClose(kernel);
    return cancelled;
}

// The wake-up call of a waiting reader: running it is what ends the alertable wait.
void CALLBACK WakeReader(ULONG_PTR)
{
}

std::string Utf8(const wchar_t* text, std::size_t length)
{
    if (length == 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr, nullptr);
    return out;
}

// The errno code with the same meaning for a device, for the reasons the program words itself; 0
// for the others.
int ErrnoLike(std::uint32_t code)
{
    switch (code) {
    case ERROR_DEVICE_NOT_CONNECTED:
        return ENODEV;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return EBUSY;
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_CRC:
        return EIO;
    case ERROR_SEM_TIMEOUT:
        return ETIMEDOUT;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_USER_BUFFER:
        return EINVAL;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return 0;
    }
}

} // namespace

struct WindowsPlatform::OpenDevice : std::enable_shared_from_this<OpenDevice>
{
    HANDLE File = INVALID_HANDLE_VALUE;
    Access Mode = Access::Identify;

    // The read of a read handle. The overlapped record and Outstanding belong to the thread that
    // issued the read; the flags may be set from any thread.
    OVERLAPPED Overlap{};
    bool Outstanding = false;
    std::atomic<bool> Ended{false};
    std::atomic<bool> Closed{false};
    std::atomic<bool> WakePending{false};
    std::mutex ReaderLock;
    HANDLE Reader = nullptr;
    DWORD ReaderId = 0;

    ~OpenDevice()
    {
        if (Reader != nullptr)
            CloseHandle(Reader);
        // Closing the handle ends any I/O that is still outstanding on it.
        if (File != INVALID_HANDLE_VALUE)
            CloseHandle(File);
    }

    // The completion routine of every read: it runs on the reading thread, in its alertable wait.
    static void CALLBACK ReadCompletion(DWORD, DWORD, OVERLAPPED* overlap)
    {
        static_cast<OpenDevice*>(overlap->hEvent)->Ended = true;
    }

    // Reading thread: the thread to wake from now on is this one.
    void TakeReader()
    {
        std::lock_guard lock(ReaderLock);
        if (ReaderId == GetCurrentThreadId())
            return;
        if (Reader != nullptr)
            CloseHandle(Reader);
        ReaderId = GetCurrentThreadId();
        Reader = OpenThread(THREAD_SET_CONTEXT, FALSE, ReaderId);
    }

    // Any thread: ends the reader's current alertable wait, or its next one.
    void Wake()
    {
        std::lock_guard lock(ReaderLock);
        if (Reader != nullptr)
            QueueUserAPC(&WakeReader, Reader, 0);
    }

    // Reading thread: cancels the outstanding read and waits until its completion routine has run,
    // so that the system never writes into the reader's buffer or this record afterwards.
    void EndRead()
    {
        if (!Outstanding)
            return;
        if (!Ended) {
            CancelThreadIo(File);
            for (int slice = 0; slice < CancelWaitSlices && !Ended; ++slice)
                SleepEx(CancelWaitSliceMs, TRUE);
        }
        // A read that does not end even when cancelled may still be written to: its record is
        // kept for the rest of the run.
        if (!Ended)
            new std::shared_ptr<OpenDevice>(shared_from_this());
        Outstanding = false;
    }
};

WindowsPlatform::WindowsPlatform(std::string setupLibrary, std::string hidLibrary)
    : SetupLibraryName(std::move(setupLibrary))
    , HidLibraryName(std::move(hidLibrary))
{
}

WindowsPlatform::~WindowsPlatform()
{
    std::vector<std::shared_ptr<OpenDevice>> devices = Handles.TakeAll();
    {
        std::lock_guard lock(ReadsMutex);
        // A reader still waiting wakes to a closed handle; the system may still write into the
        // record of its read, so that record is kept for the rest of the run.
        for (auto& [thread, read] : OutstandingReads) {
            devices.push_back(read.Device);
            new std::shared_ptr<OpenDevice>(std::move(read.Device));
        }
        OutstandingReads.clear();
    }
    Handles.ReleaseAllPreparsed([this](PreparsedData data) {
        if (Hid.HidLibraryLoaded())
            Hid.FreePreparsedData(static_cast<PHIDP_PREPARSED_DATA>(const_cast<void*>(data)));
    });
    for (const auto& device : devices) {
        device->Closed = true;
        device->Wake();
    }
    Unload();
}

bool WindowsPlatform::Load()
{
    if (Hid.HidLibraryLoaded())
        return true;
    if (!LoadSetupLibrary(SetupLibraryName)) {
        SetError(ERROR_MOD_NOT_FOUND);
        return false;
    }
    SetupLoaded = true;
    if (!Hid.LoadHidLibrary(HidLibraryName)) {
        SetError(ERROR_MOD_NOT_FOUND);
        UnloadSetupLibrary(SetupLibraryName);
        SetupLoaded = false;
        return false;
    }
    if (ChangeHandler)
        StartNotices();
    return true;
}

void WindowsPlatform::Unload()
{
    NoticeWindow.reset();
    Hid.UnloadHidLibrary();
    if (SetupLoaded)
        UnloadSetupLibrary(SetupLibraryName);
    SetupLoaded = false;
}

bool WindowsPlatform::Loaded() const
{
    return Hid.HidLibraryLoaded();
}

bool WindowsPlatform::EnumeratePresent(std::vector<PresentInterface>& out)
{
    out.clear();
    if (!Loaded()) {
        SetError(ERROR_MOD_NOT_FOUND);
        return false;
    }
    const SetupFunctions setup = SetupLibraryFunctions(SetupLibraryName);
    GUID hidClass;
    Hid.GetHidGuid(&hidClass);
    const HDEVINFO set = setup.GetClassDevsA(&hidClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        KeepLastError();
        return false;
    }
    // The records carry the sizes this platform's library expects (on 32-bit Windows 28, 28 and 5).
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof interfaceData;
        if (!setup.EnumDeviceInterfaces(set, nullptr, &hidClass, index, &interfaceData))
            break;
        SP_DEVINFO_DATA deviceInfo{};
        deviceInfo.cbSize = sizeof deviceInfo;
        // First the size the detail needs: only a refusal for want of room gives it.
        DWORD needed = 0;
        if (setup.GetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &needed, &deviceInfo) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
            needed <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath))
            continue;
        // Zeroed and aligned for the record; the path ends within the size given, or where it is cut.
        std::vector<DWORD> buffer((needed + sizeof(DWORD)) / sizeof(DWORD), 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!setup.GetDeviceInterfaceDetailA(set, &interfaceData, detail, needed, nullptr, &deviceInfo))
            continue;
        const std::size_t room = needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        const std::string path(detail->DevicePath, strnlen(detail->DevicePath, room));
        if (!path.empty())
            out.push_back({static_cast<std::uint32_t>(deviceInfo.DevInst), path});
    }
    setup.DestroyDeviceInfoList(set);
    return true;
}

Handle WindowsPlatform::Open(const std::string& path, Access access)
{
    DWORD desired = 0;
    DWORD flags = 0;
    switch (access) {
    case Access::ReadWrite:
        desired = GENERIC_READ | GENERIC_WRITE;
        break;
    case Access::Identify:
        // No access rights: the system admits this also for devices it holds itself (keyboards, mice).
        desired = 0;
        break;
    case Access::ReadOverlapped:
        desired = GENERIC_READ;
        flags = FILE_FLAG_OVERLAPPED;
        break;
    }
    const HANDLE file =
        CreateFileA(path.c_str(), desired, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        KeepLastError();
        return InvalidHandle;
    }
    auto device = std::make_shared<OpenDevice>();
    device->File = file;
    device->Mode = access;
    return Handles.Add(std::move(device));
}

std::shared_ptr<WindowsPlatform::OpenDevice> WindowsPlatform::Find(Handle handle)
{
    std::shared_ptr<OpenDevice> device = Handles.Find(handle);
    if (!device)
        SetError(ERROR_INVALID_HANDLE);
    return device;
}

std::shared_ptr<WindowsPlatform::OpenDevice> WindowsPlatform::FindForQuery(Handle handle)
{
    if (!Loaded()) {
        SetError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return Find(handle);
}

std::shared_ptr<WindowsPlatform::OpenDevice> WindowsPlatform::FindForReader(Handle handle)
{
    {
        std::lock_guard lock(ReadsMutex);
        const auto it = OutstandingReads.find(GetCurrentThreadId());
        if (it != OutstandingReads.end() && it->second.Id == handle)
            return it->second.Device;
    }
    return Find(handle);
}

void WindowsPlatform::SetOutstandingRead(OutstandingRead read)
{
    std::shared_ptr<OpenDevice> released; // let go of outside the lock: it may close the handle
    std::lock_guard lock(ReadsMutex);
    if (read.Device) {
        OutstandingReads[GetCurrentThreadId()] = std::move(read);
    } else {
        const auto it = OutstandingReads.find(GetCurrentThreadId());
        if (it == OutstandingReads.end())
            return;
        released = std::move(it->second.Device);
        OutstandingReads.erase(it);
    }
}

void WindowsPlatform::Close(Handle handle)
{
    const std::shared_ptr<OpenDevice> device = Handles.Take(handle);
    if (!device)
        return;
    // A reader waiting on the handle wakes and ends its read; it holds the device until then, so
    // the system handle is closed when it lets go.
    device->Closed = true;
    device->Wake();
}

bool WindowsPlatform::GetAttributes(Handle handle, Attributes& out)
{
    const auto device = FindForQuery(handle);
    if (!device)
        return false;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!Hid.GetAttributes(device->File, &attributes)) {
        KeepLastError();
        return false;
    }
    out.VendorID = attributes.VendorID;
    out.ProductID = attributes.ProductID;
    out.VersionNumber = attributes.VersionNumber;
    return true;
}

bool WindowsPlatform::GetProductString(Handle handle, std::u16string& out)
{
    const auto device = FindForQuery(handle);
    if (!device)
        return false;
    // Room for 254 UTF-16 code units, more than a USB string descriptor holds (126).
    WCHAR text[254] = {};
    static_assert(sizeof text == 508);
    if (!Hid.GetProductString(device->File, text, sizeof text)) {
        KeepLastError();
        return false;
    }
    const std::size_t length = wcsnlen(text, std::size(text));
    out.assign(reinterpret_cast<const char16_t*>(text), length);
    return true;
}

bool WindowsPlatform::GetPreparsedData(Handle handle, PreparsedData& out)
{
    const auto device = FindForQuery(handle);
    if (!device)
        return false;
    PHIDP_PREPARSED_DATA data = nullptr;
    if (!Hid.GetPreparsedData(device->File, &data) || data == nullptr) {
        KeepLastError();
        return false;
    }
    Handles.AddPreparsed(data);
    out = data;
    return true;
}

void WindowsPlatform::FreePreparsedData(PreparsedData data)
{
    // Only what this backend handed out, and only once.
    Handles.ReleasePreparsed(data, [this](PreparsedData live) {
        if (Hid.HidLibraryLoaded())
            Hid.FreePreparsedData(static_cast<PHIDP_PREPARSED_DATA>(const_cast<void*>(live)));
    });
}

bool WindowsPlatform::GetCaps(PreparsedData data, Caps& out)
{
    DWORD error = ERROR_INVALID_PARAMETER;
    Handles.UsePreparsed(data, [&](PreparsedData live) {
        if (!Hid.HidLibraryLoaded())
            return;
        HIDP_CAPS caps{};
        static_assert(sizeof caps == 64);
        if (Hid.GetCaps(static_cast<PHIDP_PREPARSED_DATA>(const_cast<void*>(live)), &caps) != HIDP_STATUS_SUCCESS) {
            error = ERROR_INVALID_DATA;
            return;
        }
        out.InputReportByteLength = caps.InputReportByteLength;
        out.OutputReportByteLength = caps.OutputReportByteLength;
        out.FeatureReportByteLength = caps.FeatureReportByteLength;
        error = ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) {
        SetError(error);
        return false;
    }
    return true;
}

bool WindowsPlatform::Write(Handle handle, const std::uint8_t* buffer, std::size_t length, std::uint32_t& written)
{
    written = 0;
    const auto device = Find(handle);
    if (!device)
        return false;
    if ((buffer == nullptr && length != 0) || length > MAXDWORD) {
        SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DWORD count = 0;
    const bool ok = WriteFile(device->File, buffer, static_cast<DWORD>(length), &count, nullptr) != FALSE;
    if (!ok)
        KeepLastError();
    written = count;
    return ok;
}

bool WindowsPlatform::BeginRead(Handle handle, std::uint8_t* buffer, std::size_t length)
{
    const auto device = Find(handle);
    if (!device)
        return false;
    if (device->Mode != Access::ReadOverlapped) {
        SetError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (device->Outstanding) {
        SetError(ERROR_BUSY);
        return false;
    }
    if ((buffer == nullptr && length != 0) || length > MAXDWORD) {
        SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    device->TakeReader();
    device->Overlap = OVERLAPPED{};
    device->Overlap.hEvent = device.get(); // not used by ReadFileEx: it tells the completion whose read ended
    device->Ended = false;
    if (!ReadFileEx(device->File, buffer, static_cast<DWORD>(length), &device->Overlap, &OpenDevice::ReadCompletion)) {
        KeepLastError();
        return false;
    }
    device->Outstanding = true;
    SetOutstandingRead({handle, device});
    return true;
}

WaitResult WindowsPlatform::WaitRead(Handle handle, int sliceMs)
{
    const auto device = FindForReader(handle); // held for the whole wait
    if (!device || !device->Outstanding)
        return WaitResult::Completed;
    if (!device->Ended && !device->Closed && !device->WakePending)
        SleepEx(static_cast<DWORD>(std::max(sliceMs, 0)), TRUE);
    if (device->Ended || device->Closed) {
        // Closed meanwhile: the read ends here, with no data.
        if (!device->Ended)
            device->EndRead();
        device->Outstanding = false;
        SetOutstandingRead({});
        return WaitResult::Completed;
    }
    if (device->WakePending.exchange(false))
        return WaitResult::Woken;
    return WaitResult::TimedOut;
}

void WindowsPlatform::WakeRead(Handle handle)
{
    const auto device = Find(handle);
    if (!device)
        return;
    device->WakePending = true;
    device->Wake();
}

std::uint32_t WindowsPlatform::CompletedReadSize(Handle handle)
{
    const auto device = Find(handle);
    if (!device || device->Mode != Access::ReadOverlapped || device->Outstanding)
        return 0;
    DWORD count = 0;
    if (!GetOverlappedResult(device->File, &device->Overlap, &count, FALSE)) {
        KeepLastError();
        return 0;
    }
    return count;
}

void WindowsPlatform::CancelRead(Handle handle)
{
    const auto device = FindForReader(handle);
    if (!device || !device->Outstanding)
        return;
    device->EndRead();
    SetOutstandingRead({});
}

std::uint32_t WindowsPlatform::LastError() const
{
    return LastErrorCode;
}

std::string WindowsPlatform::ErrorText(std::uint32_t code) const
{
    // The common reasons in Russian, as on Linux, whatever the system's language.
    const std::string common = CommonReasonText(ErrnoLike(code));
    if (!common.empty())
        return common;
    // The rest as the system words it, in the user's language.
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, static_cast<DWORD>(std::size(text)), nullptr);
    if (length == 0)
        return "Неизвестная ошибка " + std::to_string(code);
    return base::TrimErrorText(Utf8(text, length));
}

void WindowsPlatform::SetDeviceChangeHandler(std::function<void()> handler)
{
    ChangeHandler = std::move(handler);
    if (ChangeHandler && Loaded())
        StartNotices();
    // With no handler the window stays and its notices are dropped, so a handler that clears
    // itself never destroys the window that is calling it.
}

void WindowsPlatform::StartNotices()
{
    if (NoticeWindow)
        return;
    auto window = std::make_unique<TDeviceNoticeWindow>([this] {
        if (!ChangeHandler)
            return;
        const auto handler = ChangeHandler; // the handler may replace itself
        handler();
    });
    if (window->Valid())
        NoticeWindow = std::move(window);
}

HWND WindowsPlatform::NoticeWindowForTests() const
{
    return NoticeWindow ? NoticeWindow->Handle() : nullptr;
}

} // namespace hidplatform
