// libudev bound at run time: a machine without it still runs the program, it just finds no devices.
// All the functions the backend uses are found, or none is kept.
#pragma once

#include <libudev.h>

namespace hidplatform {

struct UdevLibrary
{
    void* Module = nullptr;

    decltype(&udev_new) New = nullptr;
    decltype(&udev_unref) Unref = nullptr;

    decltype(&udev_enumerate_new) EnumerateNew = nullptr;
    decltype(&udev_enumerate_unref) EnumerateUnref = nullptr;
    decltype(&udev_enumerate_add_match_subsystem) EnumerateAddMatchSubsystem = nullptr;
    decltype(&udev_enumerate_add_match_is_initialized) EnumerateAddMatchIsInitialized = nullptr;
    decltype(&udev_enumerate_scan_devices) EnumerateScanDevices = nullptr;
    decltype(&udev_enumerate_get_list_entry) EnumerateGetListEntry = nullptr;
    decltype(&udev_list_entry_get_next) ListEntryGetNext = nullptr;
    decltype(&udev_list_entry_get_name) ListEntryGetName = nullptr;

    decltype(&udev_device_new_from_syspath) DeviceNewFromSyspath = nullptr;
    decltype(&udev_device_unref) DeviceUnref = nullptr;
    decltype(&udev_device_get_devnode) DeviceGetDevnode = nullptr;
    decltype(&udev_device_get_sysname) DeviceGetSysname = nullptr;
    decltype(&udev_device_get_parent_with_subsystem_devtype) DeviceGetParentWithSubsystemDevtype = nullptr;

    decltype(&udev_monitor_new_from_netlink) MonitorNewFromNetlink = nullptr;
    decltype(&udev_monitor_unref) MonitorUnref = nullptr;
    decltype(&udev_monitor_filter_add_match_subsystem_devtype) MonitorFilterAddMatchSubsystemDevtype = nullptr;
    decltype(&udev_monitor_enable_receiving) MonitorEnableReceiving = nullptr;
    decltype(&udev_monitor_get_fd) MonitorGetFd = nullptr;
    decltype(&udev_monitor_receive_device) MonitorReceiveDevice = nullptr;

    // Loads the named library once; false (and nothing kept) when it or any function is missing.
    bool Load(const char* libraryName);
    void Unload();
    bool Loaded() const { return Module != nullptr; }
};

} // namespace hidplatform
