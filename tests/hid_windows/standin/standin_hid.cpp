// The stand-in HID library: identifies the stand-in devices by their handles.
#include "tests/hid_windows/standin/standin_devices.h"

extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace {

constexpr GUID HidClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr DWORD PreparsedMagic = 0x9a25ed;

} // namespace

// The library's own record behind the opaque reference.
struct _HIDP_PREPARSED_DATA
{
    DWORD Magic;
    HIDP_CAPS Caps;
};

extern "C" {

void NTAPI HidD_GetHidGuid(LPGUID guid)
{
    *guid = HidClass;
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes)
{
    StandInCallRecord()->AttributesSize = attributes->Size;
    StandInDeviceDescription description;
    if (!StandInDeviceOfHandle(device, &description))
        return FALSE;
    if (description.FailAttributes) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    attributes->VendorID = description.VendorID;
    attributes->ProductID = description.ProductID;
    attributes->VersionNumber = description.VersionNumber;
    return TRUE;
}

BOOLEAN NTAPI HidD_GetProductString(HANDLE device, PVOID buffer, ULONG length)
{
    StandInCallRecord()->ProductStringBufferLength = length;
    StandInDeviceDescription description;
    if (!StandInDeviceOfHandle(device, &description))
        return FALSE;
    if (description.ProductString == nullptr) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    // The terminating zero only where there is room for it, as the system's library does.
    const std::size_t bytes = std::wcslen(description.ProductString) * sizeof(wchar_t);
    if (length < bytes) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, description.ProductString, std::min<std::size_t>(length, bytes + sizeof(wchar_t)));
    return TRUE;
}

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data)
{
    StandInDeviceDescription description;
    if (!StandInDeviceOfHandle(device, &description))
        return FALSE;
    if (description.FailPreparsedData) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    auto* record = new _HIDP_PREPARSED_DATA{PreparsedMagic, {}};
    record->Caps.UsagePage = 0xFF00;
    record->Caps.Usage = 1;
    record->Caps.InputReportByteLength = description.InputReportByteLength;
    record->Caps.OutputReportByteLength = description.OutputReportByteLength;
    *data = record;
    ++StandInCallRecord()->LivePreparsedData;
    return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA data)
{
    if (data == nullptr || data->Magic != PreparsedMagic)
        return FALSE;
    data->Magic = 0;
    delete data;
    --StandInCallRecord()->LivePreparsedData;
    return TRUE;
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA data, PHIDP_CAPS caps)
{
    if (data == nullptr || data->Magic != PreparsedMagic)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    *caps = data->Caps;
    return HIDP_STATUS_SUCCESS;
}

// Present in the system's library, where it writes a greeting; nobody relies on its words.
ULONG NTAPI HidD_Hello(PCHAR buffer, ULONG length)
{
    static const char greeting[] = "Hello from the stand-in HID library\n";
    const ULONG size = static_cast<ULONG>(sizeof greeting);
    if (buffer != nullptr && length > 0) {
        std::memcpy(buffer, greeting, std::min(length, size));
        buffer[std::min(length, size) - 1] = '\0';
    }
    return size;
}

} // extern "C"
