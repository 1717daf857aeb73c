// The platform's HID library ("HID.dll"), bound at run time, all or nothing: without it the
// program runs and finds no devices.
#pragma once

#include <windows.h>

#include <hidsdi.h>

#include <string>

namespace hidplatform {

class THidLibrary
{
public:
    decltype(&HidD_GetHidGuid) GetHidGuid = nullptr;
    decltype(&HidD_GetAttributes) GetAttributes = nullptr;
    decltype(&HidD_GetProductString) GetProductString = nullptr;
    decltype(&HidD_GetPreparsedData) GetPreparsedData = nullptr;
    decltype(&HidD_FreePreparsedData) FreePreparsedData = nullptr;
    decltype(&HidP_GetCaps) GetCaps = nullptr;
    // Never called: present in every genuine HID library, so its absence tells a stranger apart.
    FARPROC Hello = nullptr;

    THidLibrary() = default;
    ~THidLibrary() { UnloadHidLibrary(); }
    THidLibrary(const THidLibrary&) = delete;
    THidLibrary& operator=(const THidLibrary&) = delete;

    // Loads the named library and finds every function above; if one is missing, the library is
    // released and every entry cleared. True at once while loaded.
    bool LoadHidLibrary(const std::string& name);
    bool HidLibraryLoaded() const { return Module != nullptr; }
    void UnloadHidLibrary();

private:
    HMODULE Module = nullptr;
};

} // namespace hidplatform
