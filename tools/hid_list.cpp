#include "tools/hid_list.h"

#include "hid/device_controller.h"
#include "protocol/station_identity.h"
#include "tools/hid_list_advice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace hidlist {

namespace {

std::string Utf8(const std::u16string& text)
{
    // Control characters would garble a terminal or a pasted bug report.
    QString value = QString::fromStdU16String(text);
    for (QChar& c : value)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return value.toStdString();
}

std::string Ids(std::uint16_t vendor, std::uint16_t product)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", vendor, product);
    return text;
}

std::string Padded(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::string Quoted(const THidListEntry& device)
{
    return device.ProductName.empty() ? std::string("(no product string)") : "\"" + Utf8(device.ProductName) + "\"";
}

} // namespace

THidListing CollectHidDevices(hidplatform::Platform& platform, int timeoutMs)
{
    THidListing listing;
    THidDeviceController controller(nullptr, platform);
    listing.PlatformLoaded = controller.HidLibraryLoaded();
    if (!listing.PlatformLoaded)
        return listing; // an inert controller never rescans

    QEventLoop loop;
    // The first rescan always counts as a change, so this fires once it has run.
    controller.SetOnDeviceChange(TNotifyEvent::FromCallable([&](QObject*) {
        listing.Scanned = true;
        loop.quit();
    }));
    controller.Loaded();
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!listing.Scanned)
        loop.exec();
    controller.SetOnDeviceChange(nullptr);
    if (!listing.Scanned)
        return listing;

    // A free device answers queries only while it is offered, so the listing is taken here.
    controller.SetOnEnumerate(THidEnumerateEvent::FromCallable([&](THidDevice* device, int) {
        THidListEntry entry;
        entry.Path = device->PnPInfo().DevicePath;
        entry.VendorID = device->VendorID();
        entry.ProductID = device->ProductID();
        entry.ProductName = device->QueryProductName();
        entry.ReadWriteGranted = device->ReadWriteGranted();
        entry.Station = IsStationIdentity(entry.ProductName, entry.VendorID, entry.ProductID);
        listing.Devices.push_back(std::move(entry));
        return true;
    }));
    controller.EnumerateDevices();
    controller.SetOnEnumerate(nullptr);
    return listing;
}

int PrintHidListing(const THidListing& listing, std::ostream& out)
{
    if (!listing.PlatformLoaded) {
        out << "The HID device layer could not be loaded" << LoadFailureAdvice;
        return 1;
    }
    if (!listing.Scanned) {
        out << "The scan for HID devices did not finish.\n";
        return 1;
    }

    if (listing.Devices.empty()) {
        out << "No HID devices found.\n";
    } else {
        std::size_t pathWidth = 4;
        for (const auto& device : listing.Devices)
            pathWidth = std::max(pathWidth, device.Path.size());
        out << Padded("PATH", pathWidth) << "  VENDOR:PRODUCT  READ-WRITE  STATION  PRODUCT STRING\n";
        for (const auto& device : listing.Devices)
            out << Padded(device.Path, pathWidth) << "  " << Padded(Ids(device.VendorID, device.ProductID), 14) << "  "
                << Padded(device.ReadWriteGranted ? "yes" : "no", 10) << "  " << Padded(device.Station ? "yes" : "-", 7)
                << "  " << Quoted(device) << "\n";
        out << listing.Devices.size() << (listing.Devices.size() == 1 ? " HID device.\n" : " HID devices.\n");
    }

    // Near misses explain why a device that looks like the station is not used.
    for (const auto& device : listing.Devices) {
        if (device.Station)
            continue;
        const bool nameMatches = device.ProductName == StationProductName;
        const bool idsMatch = device.VendorID == StationVendorID && device.ProductID == StationProductID;
        if (idsMatch)
            out << "Note: " << device.Path << " has the station's ids but the product string " << Quoted(device)
                << ", so it is not taken for the station.\n";
        else if (nameMatches)
            out << "Note: " << device.Path << " is named like the station but has the ids "
                << Ids(device.VendorID, device.ProductID) << " instead of " << Ids(StationVendorID, StationProductID)
                << ", so it is not taken for the station.\n";
    }

    const std::string stationIds = Ids(StationVendorID, StationProductID);
    const THidListEntry* usable = nullptr;
    const THidListEntry* locked = nullptr;
    for (const auto& device : listing.Devices) {
        if (device.Station && device.ReadWriteGranted && usable == nullptr)
            usable = &device;
        if (device.Station && !device.ReadWriteGranted && locked == nullptr)
            locked = &device;
    }
    if (usable != nullptr) {
        out << "Station found: " << usable->Path << ", open for reading and writing: meteostation can use it.\n";
        return 0;
    }
    if (locked != nullptr) {
        out << "Station found: " << locked->Path << ", but this user may not open it for reading and writing.\n"
            << ReadWriteAdvice;
        return 1;
    }
    out << "No station found: no HID device has the product string \"" << Utf8(StationProductName) << "\" and the ids "
        << stationIds << ". Check that the station is plugged in.\n";
    return 1;
}

int RunHidList(hidplatform::Platform& platform, std::ostream& out)
{
    return PrintHidListing(CollectHidDevices(platform), out);
}

} // namespace hidlist
