// The link with the station: matching it among the HID devices, sending commands, taking in its
// reports, and letting it go when it is unplugged.
#include "gui/error_box.h"
#include "hid/device_controller.h"
#include "protocol/station_identity.h"
#include "station/main_form.h"
#include "station/readings_text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

namespace {

const QString NoAccessText = QStringLiteral("Нет доступа к метеостанции");
const QString CommandNotSentText = QStringLiteral("Не удалось отправить команду метеостанции: ");
const QString NoAccessHint = QStringLiteral("Метеостанция найдена, но открыть её может только администратор.\n"
                                            "Установите правило udev из пакета программы (70-meteostation.rules),\n"
                                            "затем отключите метеостанцию и подключите снова.");

} // namespace

void TForm1::CreateHidController(hidplatform::Platform& platform)
{
    HidDeviceController1 = new THidDeviceController(this, platform);
    HidDeviceController1->setObjectName(QStringLiteral("HidDeviceController1"));
    HidDeviceController1->SetDevThreadSleepTime(1);
    HidDeviceController1->SetOnArrival(THidPlugEvent::Bind<&TForm1::HidDeviceController1Arrival>(this));
    HidDeviceController1->SetOnEnumerate(THidEnumerateEvent::Bind<&TForm1::HidDeviceController1Enumerate>(this));
    HidDeviceController1->SetOnDeviceData(THidDataEvent::Bind<&TForm1::HidDeviceController1DeviceData>(this));
    HidDeviceController1->SetOnDeviceDataError(
        THidDataErrorEvent::Bind<&TForm1::HidDeviceController1DeviceDataError>(this));
    HidDeviceController1->SetOnDeviceUnplug(THidPlugEvent::Bind<&TForm1::HidDeviceController1DeviceUnplug>(this));
    HidDeviceController1->Loaded();
}

bool TForm1::HidDeviceController1Enumerate(THidDevice* HidDev, int /*Idx*/)
{
    if (!IsStationIdentity(HidDev->QueryProductName(), HidDev->VendorID(), HidDev->ProductID()))
        return true;
    Station.StationDevice = HidDev;
    HidDev->CheckOut();
    if (!HidDev->ReadWriteGranted()) {
        ShowStationWithoutAccess();
        return true;
    }
    Panel1->setToolTip(QString());
    ShowStationConnected();
    return true;
}

void TForm1::ShowStationWithoutAccess()
{
    Panel1->SetCaption(NoAccessText);
    Panel1->setToolTip(NoAccessHint);
}

void TForm1::HidDeviceController1Arrival(THidDevice* /*HidDev*/)
{
    HidDeviceController1->EnumerateDevices();
}

void TForm1::HidDeviceController1DeviceData(THidDevice* HidDev, std::uint8_t /*ReportID*/, const std::uint8_t* Data,
                                            std::uint16_t Size)
{
    // During a download or clear only its own station's reports are blocks or progress: readings
    // of an earlier station that is still streaming would take their place in the copy.
    if (!HistoryOperation.TakesReportsFrom(HidDev))
        return;
    // Every report of the station carries 64 data bytes. A shorter one is damaged: taken in, its
    // missing tail would be the previous report's, a readings mix-up or a history block half of
    // the block before. A longer one has been cut to what the station declares.
    if (Data == nullptr || Size < ReportImageSize) {
        if (HistoryOperationRunning())
            HistoryOperation.NoteDamagedReport();
        return;
    }
    StreamAlive();
    HandleInputReport(Data, Size);
}

void TForm1::HidDeviceController1DeviceUnplug(THidDevice* HidDev)
{
    // The loss of its station ends a download or clear at once; the stall time-out is for a station
    // that stays but falls silent.
    const bool endsHistoryOperation = HidDev == HistoryOperation.Device() || HidDev == Station.StationDevice;
    if (endsHistoryOperation && HistoryOperationRunning()) {
        HistoryStationUnplugged();
        // A later station took over meanwhile: it is still here for the buttons.
        if (HidDev != Station.StationDevice)
            EnableStationButtons();
    }
    if (HidDev != Station.StationDevice) {
        // An earlier station that a later match took over from: still ours, so let it go here,
        // or its read thread would go on failing on a device that is gone. The window shows the
        // current station and stays as it is.
        if (HidDev->CheckedOut())
            delete HidDev;
        return;
    }
    ReleaseStationDevice();
    Panel1->setToolTip(QString());
    ShowStationDisconnected();
}

void TForm1::HidDeviceController1DeviceDataError(THidDevice* HidDev, std::uint32_t Error)
{
    // The link panel speaks of the current station; a station taken over from that has just
    // been unplugged fails its reads until the rescan lets it go.
    if (HidDev != Station.StationDevice)
        return;
    ShowReadError(QString::fromStdString(HidDeviceController1->Platform().ErrorText(Error)));
}

void TForm1::ReleaseStationDevice()
{
    delete Station.StationDevice;
    Station.StationDevice = nullptr;
}

bool TForm1::SendReport()
{
    SendError = 0;
    THidDevice* device = Station.StationDevice;
    if (device == nullptr)
        return false;
    Station.ReportImage[OutField::ReportId] = OutReportId;
    THidCaps caps;
    device->QueryCaps(caps);
    const std::uint32_t length = caps.OutputReportByteLength;
    if (length == 0) {
        SendError = EINVAL;
        return false;
    }
    // A station with a longer output report gets zeros beyond the image rather than whatever
    // lies behind it in memory.
    std::vector<std::uint8_t> report(std::max<std::size_t>(length, ReportImageSize), 0);
    std::copy(Station.ReportImage.begin(), Station.ReportImage.end(), report.begin());
    std::uint32_t written = 0;
    if (!device->WriteReport(report.data(), length, written)) {
        // The platform keeps the error per thread, and this is the thread that wrote.
        SendError = HidDeviceController1->Platform().LastError();
        if (SendError == 0)
            SendError = EIO;
        return false;
    }
    if (written != length) {
        SendError = EIO;
        return false;
    }
    return true;
}

void TForm1::ShowSendError()
{
    if (SendError == 0)
        return;
    gui::ShowErrorBox(CommandNotSentText +
                      QString::fromStdString(HidDeviceController1->Platform().ErrorText(SendError)));
}
