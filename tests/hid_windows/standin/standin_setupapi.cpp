// The stand-in device-setup library: lists the stand-in devices as present HID interfaces, and
// checks the record sizes it is given as the system's library does.
#define _SETUPAPI_
#include "tests/hid_windows/standin/standin_devices.h"

#include <setupapi.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr GUID HidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr DWORD SetMagic = 0x5e7a51;

struct Entry
{
    StandInDeviceDescription Description;
    std::string Path;
};

// A device information set: the devices listed when it was made.
struct DeviceSet
{
    DWORD Magic = SetMagic;
    std::vector<Entry> Entries;
};

DeviceSet* SetOf(HDEVINFO handle)
{
    auto* set = static_cast<DeviceSet*>(handle);
    return set != nullptr && handle != INVALID_HANDLE_VALUE && set->Magic == SetMagic ? set : nullptr;
}

BOOL Fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

} // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags)
{
    StandInCalls& calls = *StandInCallRecord();
    ++calls.ClassDevsCalls;
    calls.ClassDevsFlags = flags;
    calls.ClassDevsWithEnumeratorOrWindow = enumerator != nullptr || parent != nullptr;
    if (classGuid == nullptr || std::memcmp(classGuid, &HidClass, sizeof HidClass) != 0 ||
        (flags & DIGCF_DEVICEINTERFACE) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto* set = new DeviceSet;
    char path[MAX_PATH];
    StandInDeviceDescription description;
    for (int index = 0; StandInListed(index, &description, path, sizeof path); ++index)
        set->Entries.push_back({description, path});
    ++calls.OpenSets;
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA, const GUID* classGuid, DWORD index,
                                        PSP_DEVICE_INTERFACE_DATA data)
{
    DeviceSet* set = SetOf(handle);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr || classGuid == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    StandInCallRecord()->InterfaceDataSize = data->cbSize;
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (index >= set->Entries.size())
        return Fail(ERROR_NO_MORE_ITEMS);
    data->InterfaceClassGuid = HidClass;
    data->Flags = SPINT_ACTIVE;
    data->Reserved = index + 1;
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                             PDWORD requiredSize, PSP_DEVINFO_DATA info)
{
    DeviceSet* set = SetOf(handle);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr || data->Reserved == 0 || data->Reserved > set->Entries.size())
        return Fail(ERROR_INVALID_PARAMETER);
    const Entry& entry = set->Entries[data->Reserved - 1];
    StandInCalls& calls = *StandInCallRecord();
    if (info != nullptr) {
        calls.DeviceInfoSize = info->cbSize;
        if (info->cbSize != sizeof(SP_DEVINFO_DATA))
            return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + entry.Path.size() + 1);
    if (detail == nullptr) {
        if (requiredSize != nullptr)
            *requiredSize = needed;
        return Fail(entry.Description.DetailSizeWithoutError ? ERROR_INVALID_DATA : ERROR_INSUFFICIENT_BUFFER);
    }
    calls.DetailSize = detail->cbSize;
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return Fail(ERROR_INVALID_USER_BUFFER);
    if (detailSize < needed) {
        if (requiredSize != nullptr)
            *requiredSize = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (entry.Description.FailDetail)
        return Fail(ERROR_NOT_FOUND);
    std::memcpy(detail->DevicePath, entry.Path.c_str(), entry.Path.size() + 1);
    if (info != nullptr) {
        info->ClassGuid = HidClass;
        info->DevInst = entry.Description.Instance;
    }
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle)
{
    DeviceSet* set = SetOf(handle);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    set->Magic = 0;
    delete set;
    --StandInCallRecord()->OpenSets;
    return TRUE;
}

} // extern "C"
