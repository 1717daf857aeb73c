#include "hid/device_controller.h"

#include <QMetaObject>
#include <algorithm>

namespace {

// The controller's own first notice: its rescan always counts as a change.
constexpr int FirstNoticeParam = -1;
// What the platform's notices carry.
constexpr int PlatformNoticeParam = 0;

bool Alive(const std::weak_ptr<void>& life)
{
    return !life.expired();
}

} // namespace

THidDeviceController::THidDeviceController(QObject* owner, hidplatform::Platform& platform)
    : QObject(owner)
    , Platform_(platform)
{
    LibraryLoaded = Platform_.Load();
    if (!LibraryLoaded)
        return;
    Platform_.SetDeviceChangeHandler([this] { HandleNotice(PlatformNoticeParam); });
    // Queued, so the first rescan runs from the event loop once the owner is set up.
    QMetaObject::invokeMethod(
        this, [this] { HandleNotice(FirstNoticeParam); }, Qt::QueuedConnection);
}

THidDeviceController::~THidDeviceController()
{
    OnDeviceChange_ = nullptr;
    OnDeviceUnplug_ = nullptr;
    OnEnumerate_ = nullptr;
    if (LibraryLoaded)
        Platform_.SetDeviceChangeHandler({});
    // Every device forgets the controller first, so an unplug handler that checks in another
    // device cannot reach the list that is being taken apart.
    const std::vector<WatchedDevice> devices = WatchDeviceList();
    DeviceList.clear();
    for (const WatchedDevice& entry : devices)
        entry.Device->Controller_ = nullptr;
    for (const WatchedDevice& entry : devices) {
        if (!Alive(entry.Life))
            continue;
        if (entry.Device->CheckedOut())
            entry.Device->HandleUnplug();
        else
            delete entry.Device;
    }
    if (LibraryLoaded)
        Platform_.Unload();
}

void THidDeviceController::Loaded()
{
    Loading_ = false;
}

void THidDeviceController::HandleNotice(int param)
{
    // The event loop runs: whatever sets the properties at start-up has finished.
    Loading_ = false;
    if (RescanActive)
        return;
    LastNoticeParam = param;
    DeviceChange();
}

std::vector<THidDeviceController::WatchedDevice> THidDeviceController::WatchDeviceList() const
{
    std::vector<WatchedDevice> devices;
    devices.reserve(DeviceList.size());
    for (THidDevice* device : DeviceList)
        devices.push_back({device, device->LifeWatch()});
    return devices;
}

std::vector<std::unique_ptr<THidDevice>> THidDeviceController::ScanPresentDevices()
{
    std::vector<std::unique_ptr<THidDevice>> fresh;
    if (!LibraryLoaded)
        return fresh;
    std::vector<hidplatform::PresentInterface> present;
    if (!Platform_.EnumeratePresent(present))
        return fresh;
    for (hidplatform::PresentInterface& item : present) {
        try {
            fresh.push_back(std::make_unique<THidDevice>(
                Platform_, THidPnPInfo{item.DeviceInstance, std::move(item.DevicePath)}, this));
        } catch (const EControllerError&) {
            // Cannot be opened or identified: left out, as if it were not there.
        }
    }
    return fresh;
}

void THidDeviceController::DeviceChange()
{
    if (RescanActive)
        return;
    RescanActive = true;
    struct Reset
    {
        bool& Flag;
        ~Reset() { Flag = false; }
    } reset{RescanActive};

    bool changed = LastNoticeParam == FirstNoticeParam;
    std::vector<std::unique_ptr<THidDevice>> fresh = ScanPresentDevices();
    if (RemoveGoneDevices(fresh))
        changed = true;
    DropKnownDevices(fresh);
    if (AddArrivedDevices(fresh))
        changed = true;
    if (changed && OnDeviceChange_) {
        const TNotifyEvent handler = OnDeviceChange_;
        handler(this);
    }
}

bool THidDeviceController::RemoveGoneDevices(const std::vector<std::unique_ptr<THidDevice>>& fresh)
{
    auto isFresh = [&fresh](std::uint32_t instance) {
        return std::any_of(fresh.begin(), fresh.end(), [instance](const std::unique_ptr<THidDevice>& device) {
            return device && device->PnPInfo().DeviceInstance == instance;
        });
    };
    // Last entry first. Handlers may destroy the device at hand (or check in another one), so each
    // device is watched and never touched once it has been destroyed.
    bool removed = false;
    const std::vector<WatchedDevice> watched = WatchDeviceList();
    for (auto it = watched.rbegin(); it != watched.rend(); ++it) {
        THidDevice* device = it->Device;
        if (!Alive(it->Life))
            continue;
        if (device->PluggedIn() && isFresh(device->PnPInfo().DeviceInstance))
            continue;
        removed = true;
        device->HandleUnplug();
        if (!Alive(it->Life))
            continue;
        if (OnRemoval_) {
            const THidPlugEvent handler = OnRemoval_;
            device->SetInNotification(true);
            handler(device);
            if (!Alive(it->Life))
                continue;
            device->SetInNotification(false);
        }
        if (!device->CheckedOut()) {
            const auto entry = std::find(DeviceList.begin(), DeviceList.end(), device);
            if (entry != DeviceList.end())
                DeviceList.erase(entry);
            device->Controller_ = nullptr;
            delete device;
        }
    }
    return removed;
}

void THidDeviceController::DropKnownDevices(std::vector<std::unique_ptr<THidDevice>>& fresh)
{
    for (std::unique_ptr<THidDevice>& device : fresh) {
        const std::uint32_t instance = device->PnPInfo().DeviceInstance;
        const bool known = std::any_of(DeviceList.begin(), DeviceList.end(), [instance](THidDevice* listed) {
            return listed->PluggedIn() && listed->PnPInfo().DeviceInstance == instance;
        });
        if (known) {
            device->Controller_ = nullptr;
            device.reset();
        }
    }
}

bool THidDeviceController::AddArrivedDevices(std::vector<std::unique_ptr<THidDevice>>& fresh)
{
    // In the list before OnArrival runs, so an enumeration from the handler offers it.
    bool added = false;
    for (std::unique_ptr<THidDevice>& slot : fresh) {
        if (!slot)
            continue;
        THidDevice* device = slot.release();
        DeviceList.push_back(device);
        added = true;
        if (OnArrival_) {
            const std::weak_ptr<void> life = device->LifeWatch();
            const THidPlugEvent handler = OnArrival_;
            device->SetInNotification(true);
            handler(device);
            if (Alive(life))
                device->SetInNotification(false);
        }
    }
    return added;
}

int THidDeviceController::EnumerateDevices()
{
    int count = 0;
    const std::size_t last = DeviceList.size();
    for (std::size_t index = 0; index < last && index < DeviceList.size(); ++index) {
        THidDevice* device = DeviceList[index];
        if (!device->PluggedIn())
            continue;
        ++count;
        if (!OnEnumerate_)
            break;
        const std::weak_ptr<void> life = device->LifeWatch();
        const THidEnumerateEvent handler = OnEnumerate_;
        device->SetInNotification(true);
        const bool goOn = handler(device, static_cast<int>(index));
        if (Alive(life)) {
            device->SetInNotification(false);
            // Whatever the handler opened for its queries is closed again on a free device.
            if (!device->CheckedOut()) {
                device->CloseMain();
                device->CloseRead();
            }
        }
        if (!goOn)
            break;
    }
    return count;
}

void THidDeviceController::SetDevThreadSleepTime(int ms)
{
    if (ms == DevThreadSleepTime_)
        return;
    for (THidDevice* device : DeviceList)
        if (device->ReadWaitSlice() == DevThreadSleepTime_)
            device->SetReadWaitSlice(ms);
    DevThreadSleepTime_ = ms;
}

void THidDeviceController::SetOnDeviceChange(const TNotifyEvent& handler)
{
    if (OnDeviceChange_.SameFunction(handler))
        return;
    OnDeviceChange_ = handler;
    if (!Loading_)
        DeviceChange();
}

template <class Event>
void THidDeviceController::PassHandlerToFollowers(Event& current, const Event& handler,
                                                  const Event& (THidDevice::*get)() const,
                                                  void (THidDevice::*set)(const Event&))
{
    if (current.SameFunction(handler))
        return;
    // A data handler stops or starts read threads, and stopping one serves hand-overs whose
    // handlers may change the list: walk a watched copy.
    for (const WatchedDevice& entry : WatchDeviceList())
        if (Alive(entry.Life) && (entry.Device->*get)().SameFunction(current))
            (entry.Device->*set)(handler);
    current = handler;
}

void THidDeviceController::SetOnDeviceData(const THidDataEvent& handler)
{
    PassHandlerToFollowers(OnDeviceData_, handler, &THidDevice::DataHandler, &THidDevice::SetDataHandler);
}

void THidDeviceController::SetOnDeviceDataError(const THidDataErrorEvent& handler)
{
    PassHandlerToFollowers(OnDeviceDataError_, handler, &THidDevice::DataErrorHandler,
                           &THidDevice::SetDataErrorHandler);
}

void THidDeviceController::SetOnDeviceUnplug(const THidPlugEvent& handler)
{
    PassHandlerToFollowers(OnDeviceUnplug_, handler, &THidDevice::UnplugHandler, &THidDevice::SetUnplugHandler);
}

void THidDeviceController::CheckIn(THidDevice* device, const THidDataEvent& dataHandler,
                                   const THidPlugEvent& unplugHandler)
{
    const auto entry = std::find(DeviceList.begin(), DeviceList.end(), device);
    if (entry == DeviceList.end())
        return;
    if (device->PluggedIn()) {
        try {
            auto fresh = std::make_unique<THidDevice>(Platform_, device->PnPInfo_, this);
            fresh->SetDataHandler(dataHandler);
            fresh->SetUnplugHandler(unplugHandler);
            fresh->SetReadWaitSlice(device->ReadWaitSlice());
            *entry = fresh.release();
            return;
        } catch (const EControllerError&) {
            // Gone before a rescan noticed: the entry leaves the list, so nothing refers to the
            // destroyed object; the next rescan reports the device again if it is back.
        }
    }
    DeviceList.erase(entry);
}
