// What a backend has handed out and must know again: its open devices by handle, and the
// capability data it gave for them. The controller's thread and the read threads ask at once, so
// both sit behind one lock; the Linux and the Windows backend keep them alike. Needs no Qt.
#pragma once

#include "hid/platform/hid_platform.h"

#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace hidplatform {

template <typename TDevice>
class THandleTable
{
public:
    // The device under a handle not given before (handles are never reused).
    Handle Add(std::shared_ptr<TDevice> device)
    {
        std::lock_guard lock(FMutex);
        const Handle handle = FNextHandle++;
        FDevices.emplace(handle, std::move(device));
        return handle;
    }

    // The device, null when the handle is not open (never given, or closed).
    std::shared_ptr<TDevice> Find(Handle handle) const
    {
        std::lock_guard lock(FMutex);
        const auto it = FDevices.find(handle);
        return it == FDevices.end() ? nullptr : it->second;
    }

    // Closes the handle: its device, which a reader may still hold, or null when it was not open.
    std::shared_ptr<TDevice> Take(Handle handle)
    {
        std::lock_guard lock(FMutex);
        const auto it = FDevices.find(handle);
        if (it == FDevices.end())
            return nullptr;
        std::shared_ptr<TDevice> device = std::move(it->second);
        FDevices.erase(it);
        return device;
    }

    // Closes every handle; their devices.
    std::vector<std::shared_ptr<TDevice>> TakeAll()
    {
        std::lock_guard lock(FMutex);
        std::vector<std::shared_ptr<TDevice>> devices;
        for (auto& entry : FDevices)
            devices.push_back(std::move(entry.second));
        FDevices.clear();
        return devices;
    }

    // Capability data handed out, live until released.
    void AddPreparsed(PreparsedData data)
    {
        std::lock_guard lock(FMutex);
        FPreparsed.insert(data);
    }

    // Runs `use(data)` under the lock, so that no release comes between; false (and nothing run)
    // for data that was not handed out or is released already.
    template <typename TUse>
    bool UsePreparsed(PreparsedData data, TUse&& use)
    {
        std::lock_guard lock(FMutex);
        if (FPreparsed.count(data) == 0)
            return false;
        use(data);
        return true;
    }

    // Runs `release(data)` once for data that was handed out; a second release of the same data,
    // or of data never handed out, does nothing.
    template <typename TRelease>
    void ReleasePreparsed(PreparsedData data, TRelease&& release)
    {
        std::lock_guard lock(FMutex);
        if (FPreparsed.erase(data) != 0)
            release(data);
    }

    // Releases all data still handed out.
    template <typename TRelease>
    void ReleaseAllPreparsed(TRelease&& release)
    {
        std::lock_guard lock(FMutex);
        for (PreparsedData data : FPreparsed)
            release(data);
        FPreparsed.clear();
    }

private:
    mutable std::mutex FMutex;
    std::unordered_map<Handle, std::shared_ptr<TDevice>> FDevices;
    Handle FNextHandle = 1;
    std::set<PreparsedData> FPreparsed;
};

} // namespace hidplatform
