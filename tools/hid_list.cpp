#include "tools/hid_list.h"

#include "hid/device_controller.h"
#include "protocol/station_identity.h"
#include "tools/hid_list_advice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <algorithm>

namespace hidlist {

namespace {

QString Readable(const std::u16string& text)
{
    // Control characters would garble a terminal or a pasted bug report.
    QString value = QString::fromStdU16String(text);
    for (QChar& c : value)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return value;
}

QString Ids(std::uint16_t vendor, std::uint16_t product)
{
    return QStringLiteral("%1:%2").arg(vendor, 4, 16, QLatin1Char('0')).arg(product, 4, 16, QLatin1Char('0'));
}

QString Quoted(const THidListEntry& device)
{
    return device.ProductName.empty() ? QStringLiteral("(имя не читается)")
                                      : QLatin1Char('"') + Readable(device.ProductName) + QLatin1Char('"');
}

// One row of the table, each column padded to its width in characters (not bytes: the texts are
// Russian).
QString Row(const std::vector<QString>& cells, const std::vector<qsizetype>& widths)
{
    QString row;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        row += cells[i];
        if (i + 1 < cells.size())
            row += QString(widths[i] - cells[i].size() + 2, QLatin1Char(' '));
    }
    return row + QLatin1Char('\n');
}

QString DeviceTable(const std::vector<THidListEntry>& devices)
{
    std::vector<std::vector<QString>> rows{{QStringLiteral("ПУТЬ"), QStringLiteral("VID:PID"),
                                            QStringLiteral("ЧТЕНИЕ И ЗАПИСЬ"), QStringLiteral("МЕТЕОСТАНЦИЯ"),
                                            QStringLiteral("ИМЯ УСТРОЙСТВА")}};
    for (const auto& device : devices)
        rows.push_back({QString::fromStdString(device.Path), Ids(device.VendorID, device.ProductID),
                        device.ReadWriteGranted ? QStringLiteral("да") : QStringLiteral("нет"),
                        device.Station ? QStringLiteral("да") : QStringLiteral("-"), Quoted(device)});
    std::vector<qsizetype> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    QString table;
    for (const auto& row : rows)
        table += Row(row, widths);
    return table;
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

int PrintHidListing(const THidListing& listing, QString& out)
{
    if (!listing.PlatformLoaded) {
        out += QStringLiteral("Не удалось загрузить слой HID-устройств") + QString::fromUtf8(LoadFailureAdvice);
        return 1;
    }
    if (!listing.Scanned) {
        out += QStringLiteral("Поиск HID-устройств не завершился.\n");
        return 1;
    }

    if (listing.Devices.empty()) {
        out += QStringLiteral("HID-устройства не найдены.\n");
    } else {
        out += DeviceTable(listing.Devices);
        out += QStringLiteral("HID-устройств: %1.\n").arg(listing.Devices.size());
    }

    // Near misses explain why a device that looks like the station is not used.
    const QString stationIds = Ids(StationVendorID, StationProductID);
    for (const auto& device : listing.Devices) {
        if (device.Station)
            continue;
        const QString path = QString::fromStdString(device.Path);
        const bool nameMatches = device.ProductName == StationProductName;
        const bool idsMatch = device.VendorID == StationVendorID && device.ProductID == StationProductID;
        if (idsMatch)
            out += QStringLiteral("Замечание: у %1 коды метеостанции, но имя %2, поэтому это не метеостанция.\n")
                       .arg(path, Quoted(device));
        else if (nameMatches)
            out += QStringLiteral("Замечание: %1 называется как метеостанция, но его коды %2, а не %3, поэтому "
                                  "это не метеостанция.\n")
                       .arg(path, Ids(device.VendorID, device.ProductID), stationIds);
    }

    const THidListEntry* usable = nullptr;
    const THidListEntry* locked = nullptr;
    for (const auto& device : listing.Devices) {
        if (device.Station && device.ReadWriteGranted && usable == nullptr)
            usable = &device;
        if (device.Station && !device.ReadWriteGranted && locked == nullptr)
            locked = &device;
    }
    if (usable != nullptr) {
        out += QStringLiteral("Метеостанция найдена: %1, открывается для чтения и записи: meteostation может с ней "
                              "работать.\n")
                   .arg(QString::fromStdString(usable->Path));
        return 0;
    }
    if (locked != nullptr) {
        out += QStringLiteral("Метеостанция найдена: %1, но этому пользователю нельзя открыть её для чтения и "
                              "записи.\n")
                   .arg(QString::fromStdString(locked->Path)) +
            QString::fromUtf8(ReadWriteAdvice);
        return 1;
    }
    out += QStringLiteral("Метеостанция не найдена: ни у одного HID-устройства нет имени \"%1\" и кодов %2. "
                          "Проверьте, подключена ли метеостанция.\n")
               .arg(Readable(StationProductName), stationIds);
    return 1;
}

int RunHidList(hidplatform::Platform& platform, QString& out)
{
    return PrintHidListing(CollectHidDevices(platform), out);
}

} // namespace hidlist
