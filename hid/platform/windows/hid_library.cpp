#include "hid/platform/windows/hid_library.h"

#include "hid/platform/windows/module_library.h"

namespace hidplatform {

bool THidLibrary::LoadHidLibrary(const std::string& name)
{
    if (Module != nullptr)
        return true;
    if (!ModuleOpen(Module, name.c_str()))
        return false;
    bool all = true;
    ModuleSymbolChecked(Module, "HidD_GetHidGuid", GetHidGuid, all);
    ModuleSymbolChecked(Module, "HidD_GetAttributes", GetAttributes, all);
    ModuleSymbolChecked(Module, "HidD_GetProductString", GetProductString, all);
    ModuleSymbolChecked(Module, "HidD_GetPreparsedData", GetPreparsedData, all);
    ModuleSymbolChecked(Module, "HidD_FreePreparsedData", FreePreparsedData, all);
    ModuleSymbolChecked(Module, "HidP_GetCaps", GetCaps, all);
    ModuleSymbolChecked(Module, "HidD_Hello", Hello, all);
    if (!all)
        UnloadHidLibrary();
    return all;
}

void THidLibrary::UnloadHidLibrary()
{
    ModuleClose(Module);
    GetHidGuid = nullptr;
    GetAttributes = nullptr;
    GetProductString = nullptr;
    GetPreparsedData = nullptr;
    FreePreparsedData = nullptr;
    GetCaps = nullptr;
    Hello = nullptr;
}

} // namespace hidplatform
