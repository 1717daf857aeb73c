// The handler types the HID controller and its devices call, all on the main thread.
#pragma once

#include "hid/hid_event.h"

#include <cstdint>

class QObject;
class THidDevice;

// Offers one device during EnumerateDevices; Idx is its position in the controller's list.
// Answer true to go on with the next device, false to stop.
using THidEnumerateEvent = TEvent<bool(THidDevice* HidDev, int Idx)>;
// A device arrived, went away (unplug) or was removed from the list.
using THidPlugEvent = TEvent<void(THidDevice* HidDev)>;
// One input report: ReportID is byte 0, Data the bytes after it, Size their count.
// Data is valid only during the call.
using THidDataEvent =
    TEvent<void(THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size)>;
// A read could not be started; Error is the platform's error code.
using THidDataErrorEvent = TEvent<void(THidDevice* HidDev, std::uint32_t Error)>;
// Something changed; Sender is the controller.
using TNotifyEvent = TEvent<void(QObject* Sender)>;
