#include "hid/platform/windows/module_library.h"

namespace hidplatform {

bool ModuleOpen(HMODULE& module, const char* name)
{
    if (module == nullptr)
        module = LoadLibraryA(name);
    return module != nullptr;
}

FARPROC ModuleSymbol(HMODULE module, const char* name)
{
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}

void ModuleClose(HMODULE& module)
{
    if (module != nullptr)
        FreeLibrary(module);
    module = nullptr;
}

} // namespace hidplatform
