#include "hid/platform/linux/udev_library.h"

#include <dlfcn.h>

namespace hidplatform {

namespace {

template <typename Function>
void Resolve(void* module, const char* name, Function& entry, bool& allFound)
{
    entry = reinterpret_cast<Function>(dlsym(module, name));
    if (entry == nullptr)
        allFound = false;
}

} // namespace

bool UdevLibrary::Load(const char* libraryName)
{
    if (Module != nullptr)
        return true;
    Module = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (Module == nullptr)
        return false;

    bool all = true;
    Resolve(Module, "udev_new", New, all);
    Resolve(Module, "udev_unref", Unref, all);
    Resolve(Module, "udev_enumerate_new", EnumerateNew, all);
    Resolve(Module, "udev_enumerate_unref", EnumerateUnref, all);
    Resolve(Module, "udev_enumerate_add_match_subsystem", EnumerateAddMatchSubsystem, all);
    Resolve(Module, "udev_enumerate_add_match_is_initialized", EnumerateAddMatchIsInitialized, all);
    Resolve(Module, "udev_enumerate_scan_devices", EnumerateScanDevices, all);
    Resolve(Module, "udev_enumerate_get_list_entry", EnumerateGetListEntry, all);
    Resolve(Module, "udev_list_entry_get_next", ListEntryGetNext, all);
    Resolve(Module, "udev_list_entry_get_name", ListEntryGetName, all);
    Resolve(Module, "udev_device_new_from_syspath", DeviceNewFromSyspath, all);
    Resolve(Module, "udev_device_unref", DeviceUnref, all);
    Resolve(Module, "udev_device_get_devnode", DeviceGetDevnode, all);
    Resolve(Module, "udev_device_get_sysname", DeviceGetSysname, all);
    Resolve(Module, "udev_device_get_parent_with_subsystem_devtype", DeviceGetParentWithSubsystemDevtype, all);
    Resolve(Module, "udev_monitor_new_from_netlink", MonitorNewFromNetlink, all);
    Resolve(Module, "udev_monitor_unref", MonitorUnref, all);
    Resolve(Module, "udev_monitor_filter_add_match_subsystem_devtype", MonitorFilterAddMatchSubsystemDevtype, all);
    Resolve(Module, "udev_monitor_enable_receiving", MonitorEnableReceiving, all);
    Resolve(Module, "udev_monitor_get_fd", MonitorGetFd, all);
    Resolve(Module, "udev_monitor_receive_device", MonitorReceiveDevice, all);
    if (!all) {
        Unload();
        return false;
    }
    return true;
}

void UdevLibrary::Unload()
{
    if (Module != nullptr)
        dlclose(Module);
    *this = UdevLibrary();
}

} // namespace hidplatform
