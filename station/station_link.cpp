// The window's side of the link with the station: the controller's handlers hand its events to the
// core, and the link panel shows the core's link state.
#include "core/readings_text.h"
#include "gui/error_box.h"
#include "hid/device_controller.h"
#include "station/main_form.h"

namespace {

const QString NoAccessText = QStringLiteral("Нет доступа к метеостанции");
const QString CommandNotSentText = QStringLiteral("Не удалось отправить команду метеостанции: ");
const QString NoAccessHint = QStringLiteral("Метеостанция найдена, но открыть её может только администратор.\n"
                                            "Установите правило udev из пакета программы (70-meteostation.rules),\n"
                                            "затем отключите метеостанцию и подключите снова.");

} // namespace

void TForm1::CreateHidController()
{
    HidDeviceController1 = Core.Controller();
    HidDeviceController1->SetOnArrival(THidPlugEvent::Bind<&TForm1::HidDeviceController1Arrival>(this));
    HidDeviceController1->SetOnEnumerate(THidEnumerateEvent::Bind<&TForm1::HidDeviceController1Enumerate>(this));
    HidDeviceController1->SetOnDeviceData(THidDataEvent::Bind<&TForm1::HidDeviceController1DeviceData>(this));
    HidDeviceController1->SetOnDeviceDataError(
        THidDataErrorEvent::Bind<&TForm1::HidDeviceController1DeviceDataError>(this));
    HidDeviceController1->SetOnDeviceUnplug(THidPlugEvent::Bind<&TForm1::HidDeviceController1DeviceUnplug>(this));
    Core.StartLink();
}

bool TForm1::HidDeviceController1Enumerate(THidDevice* HidDev, int Idx)
{
    return Core.TakeEnumerate(HidDev, Idx);
}

void TForm1::HidDeviceController1Arrival(THidDevice* HidDev)
{
    Core.TakeArrival(HidDev);
}

void TForm1::HidDeviceController1DeviceData(THidDevice* HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                                            std::uint16_t Size)
{
    Core.TakeDeviceData(HidDev, ReportID, Data, Size);
}

void TForm1::HidDeviceController1DeviceUnplug(THidDevice* HidDev)
{
    Core.TakeUnplug(HidDev);
}

void TForm1::HidDeviceController1DeviceDataError(THidDevice* HidDev, std::uint32_t Error)
{
    Core.TakeDataError(HidDev, Error);
}

void TForm1::ReleaseStationDevice()
{
    Core.ReleaseStation();
}

void TForm1::ShowLinkState()
{
    switch (Core.LinkState()) {
    case TLinkState::Disconnected:
        Panel1->setToolTip(QString());
        Panel1->SetCaption(StationDisconnectedText);
        break;
    case TLinkState::Connected:
        Panel1->setToolTip(QString());
        Panel1->SetCaption(StationConnectedText);
        break;
    case TLinkState::Silent:
        Panel1->SetCaption(StationSilentText);
        break;
    case TLinkState::NoAccess:
        // A station that may only be identified, not opened: nothing can flow.
        Panel1->SetCaption(NoAccessText);
        Panel1->setToolTip(NoAccessHint);
        break;
    case TLinkState::ReadError:
        Panel1->SetCaption(ReadErrorPrefix + Core.ReadErrorText());
        break;
    }
}

void TForm1::ShowSendError()
{
    if (Core.SendError() == 0)
        return;
    gui::ShowErrorBox(CommandNotSentText + Core.SendErrorText());
}
