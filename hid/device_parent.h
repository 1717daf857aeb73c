// What a device needs of the controller that lists it: the handlers a new device starts with, and
// taking the device back when it is destroyed. THidDeviceController implements it; a device knows
// its controller only through it, so the controller, which holds its devices, and the device do
// not include each other.
#pragma once

#include "hid/hid_event_types.h"

class THidDevice;
class THidDeviceController;

class THidDeviceParent
{
public:
    virtual const THidDataEvent& OnDeviceData() const = 0;
    virtual const THidDataErrorEvent& OnDeviceDataError() const = 0;
    virtual const THidPlugEvent& OnDeviceUnplug() const = 0;

protected:
    ~THidDeviceParent() = default;

private:
    friend class THidDevice;
    // The controller itself, as THidDevice::Controller names it.
    virtual THidDeviceController* AsController() = 0;
    // From the device's destructor: replace it by a fresh free object or take it off the list.
    virtual void CheckIn(THidDevice* device, const THidDataEvent& dataHandler, const THidPlugEvent& unplugHandler) = 0;
};
