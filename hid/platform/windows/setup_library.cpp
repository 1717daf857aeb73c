#include "hid/platform/windows/setup_library.h"

#include "hid/platform/windows/module_library.h"

#include <map>
#include <mutex>

namespace hidplatform {

namespace {

struct LoadedSetupLibrary
{
    HMODULE Module = nullptr;
    int Count = 0;
    SetupFunctions Functions;
};

std::mutex SetupLock;
std::map<std::string, LoadedSetupLibrary> SetupLibraries;

} // namespace

bool LoadSetupLibrary(const std::string& name)
{
    std::lock_guard lock(SetupLock);
    LoadedSetupLibrary& library = SetupLibraries[name];
    if (library.Count == 0) {
        if (!ModuleOpen(library.Module, name.c_str())) {
            SetupLibraries.erase(name);
            return false;
        }
        bool all = true;
        SetupFunctions& f = library.Functions;
        ModuleSymbolChecked(library.Module, "SetupDiGetClassDevsA", f.GetClassDevsA, all);
        ModuleSymbolChecked(library.Module, "SetupDiEnumDeviceInterfaces", f.EnumDeviceInterfaces, all);
        ModuleSymbolChecked(library.Module, "SetupDiGetDeviceInterfaceDetailA", f.GetDeviceInterfaceDetailA, all);
        ModuleSymbolChecked(library.Module, "SetupDiDestroyDeviceInfoList", f.DestroyDeviceInfoList, all);
        if (!all) {
            ModuleClose(library.Module);
            SetupLibraries.erase(name);
            return false;
        }
    }
    ++library.Count;
    return true;
}

void UnloadSetupLibrary(const std::string& name)
{
    std::lock_guard lock(SetupLock);
    const auto it = SetupLibraries.find(name);
    if (it == SetupLibraries.end() || --it->second.Count > 0)
        return;
    ModuleClose(it->second.Module);
    SetupLibraries.erase(it);
}

SetupFunctions SetupLibraryFunctions(const std::string& name)
{
    std::lock_guard lock(SetupLock);
    const auto it = SetupLibraries.find(name);
    return it != SetupLibraries.end() ? it->second.Functions : SetupFunctions{};
}

} // namespace hidplatform
