// The device-setup library ("SetupApi.dll"), bound at run time and shared by the whole process:
// loading is counted, and the library is released when the last user unloads it.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <string>

namespace hidplatform {

struct SetupFunctions
{
    decltype(&SetupDiGetClassDevsA) GetClassDevsA = nullptr;
    decltype(&SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces = nullptr;
    decltype(&SetupDiGetDeviceInterfaceDetailA) GetDeviceInterfaceDetailA = nullptr;
    decltype(&SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList = nullptr;
};

// The first call for a name loads the library and finds all its functions; if one is missing,
// the library is released, nothing is kept and the result is false (the next call tries again).
// Every successful call counts.
bool LoadSetupLibrary(const std::string& name);
// Releases the library when the count of successful loads drops to 0.
void UnloadSetupLibrary(const std::string& name);
// The functions of a loaded library; they stay valid until its last unload.
SetupFunctions SetupLibraryFunctions(const std::string& name);

} // namespace hidplatform
