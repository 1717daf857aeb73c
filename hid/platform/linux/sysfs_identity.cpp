#include "hid/platform/linux/sysfs_identity.h"

#include <QString>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace hidplatform {

namespace fs = std::filesystem;

namespace {

// Sysfs attributes are small; the cap guards against reading something unexpected forever.
constexpr std::size_t MaxAttributeSize = 64 * 1024;

bool ReadAttribute(const fs::path& path, std::string& out)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    out.clear();
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        out.append(chunk, static_cast<std::size_t>(file.gcount()));
        if (out.size() > MaxAttributeSize)
            return false;
    }
    return !file.bad();
}

bool ParseHex(std::string_view text, std::uint32_t& value)
{
    if (text.empty() || text.size() > 8)
        return false;
    std::uint32_t result = 0;
    for (const char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        result = result << 4 | digit;
    }
    value = result;
    return true;
}

std::string_view TrimLineEnd(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The USB device (the one with idVendor) above a HID device: interface, then device.
fs::path FindUsbDevice(const fs::path& hidDirectory)
{
    std::error_code ec;
    fs::path dir = fs::canonical(hidDirectory, ec);
    if (ec)
        return {};
    for (int level = 0; level < 4 && dir.has_relative_path(); ++level) {
        dir = dir.parent_path();
        if (fs::exists(dir / "idVendor", ec))
            return dir;
    }
    return {};
}

} // namespace

std::map<std::string, std::string> ParseUevent(std::string_view text)
{
    std::map<std::string, std::string> result;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0)
            continue;
        // The first occurrence is the kernel's: a device name with a line break of its own comes
        // later and must not replace HID_ID.
        result.emplace(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
    }
    return result;
}

bool ParseHidId(std::string_view value, std::uint32_t& bus, std::uint16_t& vendor, std::uint16_t& product)
{
    const std::size_t first = value.find(':');
    if (first == std::string_view::npos)
        return false;
    const std::size_t second = value.find(':', first + 1);
    if (second == std::string_view::npos)
        return false;
    std::uint32_t b, v, p;
    if (!ParseHex(value.substr(0, first), b) || !ParseHex(value.substr(first + 1, second - first - 1), v) ||
        !ParseHex(value.substr(second + 1), p))
        return false;
    if (v > 0xFFFF || p > 0xFFFF)
        return false;
    bus = b;
    vendor = static_cast<std::uint16_t>(v);
    product = static_cast<std::uint16_t>(p);
    return true;
}

bool InstanceFromSysName(std::string_view sysName, std::uint32_t& instance)
{
    const std::size_t dot = sysName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    return ParseHex(sysName.substr(dot + 1), instance);
}

bool ParseBcdDevice(std::string_view text, std::uint16_t& version)
{
    std::uint32_t value;
    if (!ParseHex(TrimLineEnd(text), value) || value > 0xFFFF)
        return false;
    version = static_cast<std::uint16_t>(value);
    return true;
}

std::u16string DecodeSysfsText(std::string_view utf8, std::size_t maxUnits)
{
    const std::size_t zero = utf8.find('\0');
    if (zero != std::string_view::npos)
        utf8 = utf8.substr(0, zero);
    utf8 = TrimLineEnd(utf8);
    std::u16string text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String();
    if (text.size() > maxUnits) {
        std::size_t cut = maxUnits;
        // Do not leave half of a surrogate pair at the end.
        if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
            --cut;
        text.resize(cut);
    }
    return text;
}

std::string ResolveHidDirectory(const std::string& sysRoot, unsigned major, unsigned minor)
{
    const fs::path node = fs::path(sysRoot) / "dev" / "char" / (std::to_string(major) + ":" + std::to_string(minor));
    std::error_code ec;
    const fs::path subsystem = fs::canonical(node / "subsystem", ec);
    if (ec || subsystem.filename() != "hidraw")
        return {};
    const fs::path hid = fs::canonical(node / "device", ec);
    if (ec || !fs::is_directory(hid, ec))
        return {};
    return hid.string();
}

bool ReadHidIdentity(const std::string& hidDirectory, HidIdentity& out)
{
    const fs::path dir(hidDirectory);
    std::string uevent;
    if (!ReadAttribute(dir / "uevent", uevent))
        return false;
    const auto keys = ParseUevent(uevent);
    const auto id = keys.find("HID_ID");
    HidIdentity identity;
    if (id == keys.end() || !ParseHidId(id->second, identity.Bus, identity.VendorID, identity.ProductID))
        return false;

    std::string descriptor;
    if (ReadAttribute(dir / "report_descriptor", descriptor)) {
        identity.ReportDescriptor.assign(descriptor.begin(), descriptor.end());
        identity.HasDescriptor = true;
    }

    // A device that says it is on USB but has no USB device above it (made through uhid, as
    // virtual stand-ins and some tunnels are) has nothing better than HID_NAME either.
    const fs::path usb = identity.Bus == BusUsb ? FindUsbDevice(dir) : fs::path();
    if (!usb.empty()) {
        std::string text;
        if (ReadAttribute(usb / "product", text))
            identity.ProductString = DecodeSysfsText(text);
        if (ReadAttribute(usb / "bcdDevice", text))
            ParseBcdDevice(text, identity.VersionNumber);
    } else {
        // HID_NAME is "manufacturer product" joined: only good enough where the bus has nothing better.
        const auto name = keys.find("HID_NAME");
        if (name != keys.end())
            identity.ProductString = DecodeSysfsText(name->second);
    }
    out = std::move(identity);
    return true;
}

} // namespace hidplatform
