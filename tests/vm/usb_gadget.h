// Shared by the programs that run inside the kernel VM: the station as a real USB device, made of the
// dummy host controller and a configfs HID gadget, so that its hidraw node has a USB parent with
// product, idVendor and bcdDevice, as a station plugged into a computer has. Binding the gadget to the
// controller is the plug-in, unbinding it the unplug; /dev/hidg0 is the station's side of the wire.
#pragma once

#include "tests/vm/probe_common.h"

#include <sys/mount.h>

namespace probe {

inline bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.flush();
    if (!file)
        Info("cannot write " + path + ": " + ErrorText(errno));
    return static_cast<bool>(file);
}

inline bool MakeDir(const std::string& path)
{
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST)
        return true;
    Info("cannot create " + path + ": " + ErrorText(errno));
    return false;
}

// A gadget with one HID function (64-byte reports, no ids) on the first USB device controller.
class TUsbGadget
{
public:
    static constexpr const char* ConfigRoot = "/sys/kernel/config";
    static constexpr const char* GadgetDir = "/sys/kernel/config/usb_gadget/station";

    bool Create(const std::string& product = StationName)
    {
        const std::string root = ConfigRoot, dir = GadgetDir;
        if (!Exists(root + "/usb_gadget") && ::mount("none", ConfigRoot, "configfs", 0, nullptr) != 0) {
            Info("cannot mount configfs: " + ErrorText(errno));
            return false;
        }
        const std::string function = dir + "/functions/hid.usb0";
        return MakeDir(dir) && WriteText(dir + "/idVendor", "0x2112") && WriteText(dir + "/idProduct", "0x1212") &&
            WriteText(dir + "/bcdDevice", "0x0100") && MakeDir(dir + "/strings/0x409") && SetProduct(product) &&
            MakeDir(dir + "/configs/c.1") && MakeDir(function) && WriteText(function + "/protocol", "0") &&
            WriteText(function + "/subclass", "0") &&
            WriteText(function + "/report_length", std::to_string(ReportSize)) &&
            WriteText(function + "/report_desc", std::string(ReportDescriptor.begin(), ReportDescriptor.end())) &&
            (::symlink(function.c_str(), (dir + "/configs/c.1/hid.usb0").c_str()) == 0 || errno == EEXIST);
    }

    // Strings can change only while the gadget is unplugged.
    bool SetProduct(const std::string& text)
    {
        return WriteText(std::string(GadgetDir) + "/strings/0x409/product", text);
    }
    bool SetManufacturer(const std::string& text)
    {
        return WriteText(std::string(GadgetDir) + "/strings/0x409/manufacturer", text);
    }

    bool Plug()
    {
        std::string controller;
        if (DIR* dir = ::opendir("/sys/class/udc")) {
            while (dirent* entry = ::readdir(dir))
                if (entry->d_name[0] != '.')
                    controller = entry->d_name;
            ::closedir(dir);
        }
        if (controller.empty()) {
            Info("no USB device controller in /sys/class/udc");
            return false;
        }
        return WriteText(std::string(GadgetDir) + "/UDC", controller);
    }

    bool Unplug() { return WriteText(std::string(GadgetDir) + "/UDC", "\n"); }
};

} // namespace probe
