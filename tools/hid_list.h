// meteostation-hid-list: lists the HID devices that the program's HID controller sees and tells
// whether the station is among them and usable. The work is done over any platform backend, so
// tests run it over the simulated one; the program's main passes the real backend.
#pragma once

#include "hid/platform/hid_platform.h"

#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace hidlist {

struct THidListEntry
{
    std::string Path;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::u16string ProductName; // empty when it cannot be read
    bool ReadWriteGranted = false;
    bool Station = false;
};

struct THidListing
{
    bool PlatformLoaded = false;
    bool Scanned = false; // the controller's first rescan has run
    std::vector<THidListEntry> Devices;
};

// Builds a controller over the platform, runs the event loop until its first rescan has been
// handled (at most timeoutMs) and collects every plugged-in device it offers. Needs a
// QCoreApplication on the calling (main) thread.
THidListing CollectHidDevices(hidplatform::Platform& platform, int timeoutMs = 5000);

// Appends the listing and the verdict, in Russian; returns the exit status: 0 when a station can be
// opened for reading and writing, 1 otherwise.
int PrintHidListing(const THidListing& listing, QString& out);

// Both of the above.
int RunHidList(hidplatform::Platform& platform, QString& out);

} // namespace hidlist
