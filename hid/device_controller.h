// The HID device controller: keeps the list of present HID interfaces, rescans it on every
// device-change notice of the platform, and tells the application through its events. The
// application picks its device during an enumeration and checks it out; from then on the
// device's read thread delivers its input reports through the data event.
//
// Everything here runs on the main thread. Handlers may re-enter the controller (enumerate from
// OnArrival, destroy the device being unplugged from OnDeviceUnplug); a rescan never nests.
#pragma once

#include "hid/controller_error.h"
#include "hid/device_parent.h"
#include "hid/hid_device.h"
#include "hid/hid_event_types.h"
#include "hid/platform/hid_platform.h"

#include <QObject>
#include <memory>
#include <string>
#include <vector>

class THidDeviceController : public QObject, public THidDeviceParent
{
    Q_OBJECT
public:
    // Loads the platform and posts itself one device-change notice, so the first rescan runs
    // from the event loop, after the owner has set its properties. When the platform cannot be
    // loaded the controller stays inert: no devices, no events. The platform must outlive the
    // controller and every device it handed out.
    THidDeviceController(QObject* owner, hidplatform::Platform& platform);
    // Destroys the free devices; checked-out ones are unplugged and stay with the application.
    ~THidDeviceController() override;

    // The owner has finished setting the properties (as after reading a stored layout). Until
    // then, or until the first notice is handled, assigning OnDeviceChange does not rescan.
    void Loaded();
    bool Loading() const { return Loading_; }
    // False when the platform could not be loaded.
    bool HidLibraryLoaded() const { return LibraryLoaded; }

    // The rescan: removals (last entry first), then arrivals, then OnDeviceChange if anything
    // changed. Does nothing when called while a rescan runs.
    void DeviceChange();
    // Offers every plugged-in device to OnEnumerate, first to last, until it answers stop;
    // returns how many were offered (1 with no handler and at least one device).
    int EnumerateDevices();

    // The device list, free and checked-out devices in the order they were added.
    int DeviceCount() const { return static_cast<int>(DeviceList.size()); }
    THidDevice* Device(int index) const { return DeviceList.at(static_cast<std::size_t>(index)); }

    int DevThreadSleepTime() const { return DevThreadSleepTime_; }
    void SetDevThreadSleepTime(int ms);
    const std::string& Version() const { return Version_; }

    const THidPlugEvent& OnArrival() const { return OnArrival_; }
    void SetOnArrival(const THidPlugEvent& handler) { OnArrival_ = handler; }
    const THidEnumerateEvent& OnEnumerate() const { return OnEnumerate_; }
    void SetOnEnumerate(const THidEnumerateEvent& handler) { OnEnumerate_ = handler; }
    const TNotifyEvent& OnDeviceChange() const { return OnDeviceChange_; }
    void SetOnDeviceChange(const TNotifyEvent& handler);
    // Devices that still have the controller's current handler (same function) follow it.
    const THidDataEvent& OnDeviceData() const override { return OnDeviceData_; }
    void SetOnDeviceData(const THidDataEvent& handler);
    const THidDataErrorEvent& OnDeviceDataError() const override { return OnDeviceDataError_; }
    void SetOnDeviceDataError(const THidDataErrorEvent& handler);
    const THidPlugEvent& OnDeviceUnplug() const override { return OnDeviceUnplug_; }
    void SetOnDeviceUnplug(const THidPlugEvent& handler);
    const THidPlugEvent& OnRemoval() const { return OnRemoval_; }
    void SetOnRemoval(const THidPlugEvent& handler) { OnRemoval_ = handler; }

    hidplatform::Platform& Platform() const { return Platform_; }

private:
    struct WatchedDevice
    {
        THidDevice* Device;
        std::weak_ptr<void> Life;
    };

    void HandleNotice(int param);
    std::vector<std::unique_ptr<THidDevice>> ScanPresentDevices();
    std::vector<WatchedDevice> WatchDeviceList() const;
    // The steps of the rescan over the devices present now (`fresh`): the listed ones that are gone
    // told and dropped, the fresh objects of devices already listed let go, the rest listed and
    // told; the first and last say whether anything changed.
    bool RemoveGoneDevices(const std::vector<std::unique_ptr<THidDevice>>& fresh);
    void DropKnownDevices(std::vector<std::unique_ptr<THidDevice>>& fresh);
    bool AddArrivedDevices(std::vector<std::unique_ptr<THidDevice>>& fresh);
    // The follow rule: devices whose handler has the same function as `current` get `handler`.
    template <class Event>
    void PassHandlerToFollowers(Event& current, const Event& handler, const Event& (THidDevice::*get)() const,
                                void (THidDevice::*set)(const Event&));
    // THidDeviceParent: what the devices reach of their controller.
    THidDeviceController* AsController() override { return this; }
    void CheckIn(THidDevice* device, const THidDataEvent& dataHandler, const THidPlugEvent& unplugHandler) override;

    hidplatform::Platform& Platform_;
    bool LibraryLoaded = false;
    bool Loading_ = true;
    THidPlugEvent OnArrival_;
    THidEnumerateEvent OnEnumerate_;
    TNotifyEvent OnDeviceChange_;
    THidDataEvent OnDeviceData_;
    THidDataErrorEvent OnDeviceDataError_;
    THidPlugEvent OnDeviceUnplug_;
    THidPlugEvent OnRemoval_;
    int DevThreadSleepTime_ = 100;
    std::string Version_ = "1.0.34";
    std::vector<THidDevice*> DeviceList;
    bool RescanActive = false;
    int LastNoticeParam = 0;
};
