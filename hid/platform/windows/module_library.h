// Libraries bound at run time: a handle that starts empty, functions found by their exact names.
#pragma once

#include <windows.h>

namespace hidplatform {

// Loads the named library only while `module` is empty; whether a library is loaded now.
bool ModuleOpen(HMODULE& module, const char* name);
// The named function, or none (also when no library is loaded).
FARPROC ModuleSymbol(HMODULE module, const char* name);
// Releases the library and empties the handle.
void ModuleClose(HMODULE& module);

// Finds the named function into `entry`; a missing one clears `allFound`.
template <typename Function>
void ModuleSymbolChecked(HMODULE module, const char* name, Function& entry, bool& allFound)
{
    entry = reinterpret_cast<Function>(reinterpret_cast<void*>(ModuleSymbol(module, name)));
    if (entry == nullptr)
        allFound = false;
}

} // namespace hidplatform
