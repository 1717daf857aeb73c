// The stand-in devices: one server thread serves the named pipes of all devices through one
// completion port. Each device keeps a few listening pipe instances, so that every open by the
// backend finds one; a connected instance is one open handle of the device.
#include "tests/hid_windows/standin/standin_devices.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <cwchar>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int ListeningInstances = 4;
constexpr DWORD PipeBufferSize = 1 << 20;
constexpr ULONG_PTR ControlKey = 1;

struct Instance
{
    HANDLE Pipe = INVALID_HANDLE_VALUE;
    bool Closed = false;

    void Close()
    {
        if (Closed)
            return;
        Closed = true;
        DisconnectNamedPipe(Pipe);
        CloseHandle(Pipe);
    }
};

enum class OpKind { Connect, Read, Write };

struct Op
{
    OVERLAPPED Overlap{};
    OpKind Kind;
    int DeviceId;
    std::shared_ptr<Instance> Target;
    std::vector<std::uint8_t> Buffer;
};

struct Device
{
    StandInDeviceDescription Description{};
    std::wstring Product;
    bool HasProduct = false;
    std::string PipeName;
    bool Listed = true;
    std::vector<std::shared_ptr<Instance>> Listening;
    std::vector<std::shared_ptr<Instance>> Connected;
};

class Server
{
public:
    Server()
    {
        Port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
        Worker = std::thread([this] { Run(); });
    }

    // Runs `task` on the server thread and waits for its result.
    template <typename Result>
    Result Call(std::function<Result()> task)
    {
        std::packaged_task<Result()> job(std::move(task));
        auto result = job.get_future();
        {
            std::lock_guard lock(QueueLock);
            Tasks.push_back([&job] { job(); });
        }
        PostQueuedCompletionStatus(Port, 0, ControlKey, nullptr);
        return result.get();
    }

    // Server thread only, through Call.
    std::map<int, Device> Devices;
    int NextId = 1;
    // The output reports received, per device; read by the test's thread.
    std::mutex ReportsLock;
    std::condition_variable ReportsArrived;
    std::map<int, std::vector<std::vector<std::uint8_t>>> OutputReports;

    bool Listen(int id, Device& device)
    {
        while (static_cast<int>(device.Listening.size()) < ListeningInstances) {
            auto instance = std::make_shared<Instance>();
            const DWORD direction = device.Description.IdentifyOnly ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_DUPLEX;
            instance->Pipe = CreateNamedPipeA(device.PipeName.c_str(), direction | FILE_FLAG_OVERLAPPED,
                                              PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                              PIPE_UNLIMITED_INSTANCES, PipeBufferSize, PipeBufferSize, 0, nullptr);
            if (instance->Pipe == INVALID_HANDLE_VALUE)
                return false;
            CreateIoCompletionPort(instance->Pipe, Port, 0, 0);
            auto* op = new Op{{}, OpKind::Connect, id, instance, {}};
            if (ConnectNamedPipe(instance->Pipe, &op->Overlap) || GetLastError() == ERROR_IO_PENDING) {
                device.Listening.push_back(instance);
                continue;
            }
            const bool connected = GetLastError() == ERROR_PIPE_CONNECTED;
            delete op; // no completion comes for a call that did not go pending
            if (!connected) {
                instance->Close();
                return false;
            }
            device.Connected.push_back(instance);
            StartRead(id, instance);
        }
        return true;
    }

    // Handles the completions already queued (a client's open completes the connect at once), so
    // that a command sees every handle opened and closed before it.
    void Settle()
    {
        bool control = false;
        for (;;) {
            DWORD bytes = 0;
            ULONG_PTR key = 0;
            OVERLAPPED* overlap = nullptr;
            const bool ok = GetQueuedCompletionStatus(Port, &bytes, &key, &overlap, 0) != FALSE;
            if (overlap != nullptr)
                Completed(reinterpret_cast<Op*>(overlap), ok, bytes);
            else if (!ok)
                break;
            else if (key == ControlKey)
                control = true;
        }
        if (control)
            PostQueuedCompletionStatus(Port, 0, ControlKey, nullptr);
    }

    void Break(Device& device)
    {
        Settle();
        for (const auto& instance : device.Connected)
            instance->Close();
        device.Connected.clear();
    }

    void Remove(Device& device)
    {
        Break(device);
        for (const auto& instance : device.Listening)
            instance->Close();
        device.Listening.clear();
        device.Listed = false;
    }

    bool Send(int id, Device& device, const std::uint8_t* data, std::size_t length)
    {
        Settle();
        for (const auto& instance : device.Connected) {
            auto* op = new Op{{}, OpKind::Write, id, instance, std::vector<std::uint8_t>(data, data + length)};
            if (!WriteFile(instance->Pipe, op->Buffer.data(), static_cast<DWORD>(length), nullptr, &op->Overlap) &&
                GetLastError() != ERROR_IO_PENDING)
                delete op;
        }
        return !device.Connected.empty();
    }

private:
    void StartRead(int id, const std::shared_ptr<Instance>& instance)
    {
        // The pipe of a device opened without access rights only goes outwards: nothing to read.
        const auto device = Devices.find(id);
        if (device != Devices.end() && device->second.Description.IdentifyOnly)
            return;
        auto* op = new Op{{}, OpKind::Read, id, instance, std::vector<std::uint8_t>(4096)};
        if (!ReadFile(instance->Pipe, op->Buffer.data(), static_cast<DWORD>(op->Buffer.size()), nullptr,
                      &op->Overlap) &&
            GetLastError() != ERROR_IO_PENDING) {
            delete op;
            Drop(id, instance);
        }
    }

    // The client closed its handle (or the pipe broke): the instance is done.
    void Drop(int id, const std::shared_ptr<Instance>& instance)
    {
        instance->Close();
        const auto it = Devices.find(id);
        if (it == Devices.end())
            return;
        auto& connected = it->second.Connected;
        std::erase(connected, instance);
    }

    void Completed(Op* op, bool ok, DWORD bytes)
    {
        std::unique_ptr<Op> done(op);
        const auto it = Devices.find(op->DeviceId);
        if (op->Target->Closed || it == Devices.end())
            return;
        Device& device = it->second;
        switch (op->Kind) {
        case OpKind::Connect:
            std::erase(device.Listening, op->Target);
            if (!ok) {
                op->Target->Close();
            } else {
                device.Connected.push_back(op->Target);
                StartRead(op->DeviceId, op->Target);
            }
            if (device.Listed)
                Listen(op->DeviceId, device);
            break;
        case OpKind::Read:
            if (!ok) {
                Drop(op->DeviceId, op->Target);
                break;
            }
            {
                std::lock_guard lock(ReportsLock);
                OutputReports[op->DeviceId].emplace_back(op->Buffer.begin(), op->Buffer.begin() + bytes);
            }
            ReportsArrived.notify_all();
            StartRead(op->DeviceId, op->Target);
            break;
        case OpKind::Write:
            break;
        }
    }

    void Run()
    {
        for (;;) {
            DWORD bytes = 0;
            ULONG_PTR key = 0;
            OVERLAPPED* overlap = nullptr;
            const bool ok = GetQueuedCompletionStatus(Port, &bytes, &key, &overlap, INFINITE) != FALSE;
            if (overlap != nullptr) {
                Completed(reinterpret_cast<Op*>(overlap), ok, bytes);
                continue;
            }
            if (key != ControlKey)
                continue;
            std::deque<std::function<void()>> tasks;
            {
                std::lock_guard lock(QueueLock);
                tasks.swap(Tasks);
            }
            for (auto& task : tasks)
                task();
        }
    }

    HANDLE Port = nullptr;
    std::mutex QueueLock;
    std::deque<std::function<void()>> Tasks;
    std::thread Worker;
};

// Lives as long as the process: its thread serves the pipes until the end.
Server& TheServer()
{
    static Server* server = new Server;
    return *server;
}

StandInCalls Calls{};

bool FindDevice(Server& server, int id, const std::function<void(Device&)>& action)
{
    return server.Call<bool>([&server, id, &action] {
        const auto it = server.Devices.find(id);
        if (it == server.Devices.end())
            return false;
        action(it->second);
        return true;
    });
}

} // namespace

STANDIN_API int StandInAddDevice(const StandInDeviceDescription* description)
{
    Server& server = TheServer();
    return server.Call<int>([&server, description] {
        const int id = server.NextId++;
        Device& device = server.Devices[id];
        device.Description = *description;
        device.HasProduct = description->ProductString != nullptr;
        if (device.HasProduct)
            device.Product = description->ProductString;
        device.Description.ProductString = nullptr;
        device.PipeName =
            "\\\\.\\pipe\\meteo-standin-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(id);
        if (!server.Listen(id, device)) {
            server.Remove(device);
            server.Devices.erase(id);
            return -1;
        }
        return id;
    });
}

STANDIN_API void StandInRemoveDevice(int id)
{
    Server& server = TheServer();
    FindDevice(server, id, [&server](Device& device) { server.Remove(device); });
}

STANDIN_API void StandInBreakHandles(int id)
{
    Server& server = TheServer();
    FindDevice(server, id, [&server](Device& device) { server.Break(device); });
}

STANDIN_API int StandInConnectedHandles(int id)
{
    int count = 0;
    Server& server = TheServer();
    FindDevice(server, id, [&](Device& device) {
        server.Settle();
        count = static_cast<int>(device.Connected.size());
    });
    return count;
}

STANDIN_API BOOL StandInSendInputReport(int id, const std::uint8_t* data, std::size_t length)
{
    Server& server = TheServer();
    bool sent = false;
    FindDevice(server, id, [&](Device& device) { sent = server.Send(id, device, data, length); });
    return sent;
}

STANDIN_API BOOL StandInWaitForOutputReports(int id, int count, DWORD timeoutMs)
{
    Server& server = TheServer();
    std::unique_lock lock(server.ReportsLock);
    return server.ReportsArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                          [&] { return static_cast<int>(server.OutputReports[id].size()) >= count; });
}

STANDIN_API std::size_t StandInOutputReport(int id, int index, std::uint8_t* buffer, std::size_t size)
{
    Server& server = TheServer();
    std::lock_guard lock(server.ReportsLock);
    const auto& reports = server.OutputReports[id];
    if (index < 0 || index >= static_cast<int>(reports.size()))
        return 0;
    const auto& report = reports[static_cast<std::size_t>(index)];
    std::memcpy(buffer, report.data(), std::min(size, report.size()));
    return report.size();
}

STANDIN_API void StandInRemoveAll()
{
    Server& server = TheServer();
    server.Call<bool>([&server] {
        for (auto& [id, device] : server.Devices)
            server.Remove(device);
        server.Devices.clear();
        return true;
    });
    {
        std::lock_guard lock(server.ReportsLock);
        server.OutputReports.clear();
    }
    Calls = StandInCalls{};
}

STANDIN_API StandInCalls StandInCallsSoFar()
{
    return Calls;
}

STANDIN_API StandInCalls* StandInCallRecord()
{
    return &Calls;
}

STANDIN_API int StandInListedCount()
{
    Server& server = TheServer();
    return server.Call<int>([&server] {
        int count = 0;
        for (const auto& [id, device] : server.Devices)
            count += device.Listed ? 1 : 0;
        return count;
    });
}

STANDIN_API BOOL StandInListed(int index, StandInDeviceDescription* description, char* path, std::size_t pathSize)
{
    Server& server = TheServer();
    return server.Call<bool>([&] {
        for (const auto& [id, device] : server.Devices) {
            if (!device.Listed || index-- > 0)
                continue;
            *description = device.Description;
            description->ProductString = device.HasProduct ? device.Product.c_str() : nullptr;
            if (path != nullptr && pathSize > 0) {
                std::strncpy(path, device.PipeName.c_str(), pathSize - 1);
                path[pathSize - 1] = '\0';
            }
            return true;
        }
        return false;
    });
}

STANDIN_API BOOL StandInDeviceOfHandle(HANDLE handle, StandInDeviceDescription* description)
{
    // A broken handle answers nothing, as a HID handle of a device that has gone. (A handle without
    // access rights may not peek at all; that says nothing about the device.)
    if (!PeekNamedPipe(handle, nullptr, 0, nullptr, nullptr, nullptr)) {
        const DWORD error = GetLastError();
        if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA) {
            SetLastError(ERROR_DEVICE_NOT_CONNECTED);
            return FALSE;
        }
    }
    alignas(FILE_NAME_INFO) char buffer[sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(wchar_t)] = {};
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, buffer, sizeof buffer)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer);
    const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
    const std::size_t dash = name.rfind(L'-');
    const int id = dash == std::wstring::npos ? -1 : _wtoi(name.c_str() + dash + 1);
    Server& server = TheServer();
    const DWORD error = server.Call<DWORD>([&]() -> DWORD {
        const auto it = server.Devices.find(id);
        if (it == server.Devices.end())
            return ERROR_INVALID_HANDLE;
        if (!it->second.Listed)
            return ERROR_DEVICE_NOT_CONNECTED;
        *description = it->second.Description;
        description->ProductString = it->second.HasProduct ? it->second.Product.c_str() : nullptr;
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS)
        SetLastError(error);
    return error == ERROR_SUCCESS;
}
