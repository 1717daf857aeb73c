// Stand-in HID devices for the Windows backend's tests: a table of devices that the stand-in
// "SetupApi.dll" lists and the stand-in "HID.dll" identifies, each reachable as a named pipe on
// which the backend opens its handles. As on Windows, every input report goes to every open handle
// of its device; output reports written to any handle are recorded. The test drives the table
// through these functions; the two stand-in libraries read it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#ifdef METEO_STANDIN_DEVICES_BUILD
#define STANDIN_API extern "C" __declspec(dllexport)
#else
#define STANDIN_API extern "C" __declspec(dllimport)
#endif

struct StandInDeviceDescription
{
    DWORD Instance;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    const wchar_t* ProductString; // none: the query fails
    USHORT InputReportByteLength; // report id included
    USHORT OutputReportByteLength;
    BOOL IdentifyOnly; // opened only without access rights (as keyboards are)
    BOOL FailAttributes;
    BOOL FailPreparsedData;
    BOOL FailDetail;             // the interface detail with a buffer fails
    BOOL DetailSizeWithoutError; // the size query answers without ERROR_INSUFFICIENT_BUFFER
};

// What the stand-in libraries were asked, for checks of what the backend passes.
struct StandInCalls
{
    LONG ClassDevsCalls;
    LONG OpenSets; // device information sets not yet destroyed
    DWORD ClassDevsFlags;
    BOOL ClassDevsWithEnumeratorOrWindow;
    DWORD InterfaceDataSize; // cbSize fields as last seen
    DWORD DeviceInfoSize;
    DWORD DetailSize;
    ULONG AttributesSize;
    ULONG ProductStringBufferLength;
    LONG LivePreparsedData;
};

STANDIN_API int StandInAddDevice(const StandInDeviceDescription* description); // its id, or -1
// The device goes: its open handles break and it is no longer listed.
STANDIN_API void StandInRemoveDevice(int id);
// Every open handle of the device breaks (its reads and writes fail); the device stays listed.
STANDIN_API void StandInBreakHandles(int id);
STANDIN_API int StandInConnectedHandles(int id);
// To every open handle of the device; false when none is open.
STANDIN_API BOOL StandInSendInputReport(int id, const std::uint8_t* data, std::size_t length);
// Waits until the device has received `count` output reports or the time is up.
STANDIN_API BOOL StandInWaitForOutputReports(int id, int count, DWORD timeoutMs);
// Copies output report `index` and gives its length (0 when there is none).
STANDIN_API std::size_t StandInOutputReport(int id, int index, std::uint8_t* buffer, std::size_t size);
STANDIN_API void StandInRemoveAll();
STANDIN_API StandInCalls StandInCallsSoFar();

// For the stand-in libraries.
STANDIN_API int StandInListedCount();
STANDIN_API BOOL StandInListed(int index, StandInDeviceDescription* description, char* path, std::size_t pathSize);
// The device a handle was opened on; false (with the system's error) when the handle is broken.
STANDIN_API BOOL StandInDeviceOfHandle(HANDLE handle, StandInDeviceDescription* description);
// The record of calls, updated by the stand-in libraries (on the thread that calls them).
STANDIN_API StandInCalls* StandInCallRecord();
