// The sysfs text parsers of the Linux backend on any bytes: the uevent's KEY=VALUE lines, HID_ID,
// the instance number of a HID device's name, bcdDevice and the product text. Each is held against
// a plain reference written here, and its result against what the input can hold.
#include "hid/platform/linux/sysfs_identity.h"

#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace hidplatform;

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_uevent: %s\n", what);
        std::abort();
    }
}

std::map<std::string, std::string> ReferenceUevent(const std::string& text)
{
    std::map<std::string, std::string> keys;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        const std::string key = line.substr(0, eq);
        if (keys.count(key) == 0)
            keys[key] = line.substr(eq + 1);
    }
    return keys;
}

// 1..8 hex digits, nothing else.
std::optional<std::uint32_t> ReferenceHex(const std::string& text)
{
    if (text.empty() || text.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        const std::string digits = "0123456789abcdef";
        std::size_t d = digits.find(static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c));
        if (d == std::string::npos || c == '\0')
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return value;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

void CheckHidId(const std::string& value)
{
    std::uint32_t bus = 0xDEAD;
    std::uint16_t vendor = 0xBE, product = 0xEF;
    const bool ok = ParseHidId(value, bus, vendor, product);
    const std::vector<std::string> parts = Split(value, ':');
    bool expected = parts.size() == 3;
    std::optional<std::uint32_t> b, v, p;
    if (expected) {
        b = ReferenceHex(parts[0]);
        v = ReferenceHex(parts[1]);
        p = ReferenceHex(parts[2]);
        expected = b && v && p && *v <= 0xFFFF && *p <= 0xFFFF;
    }
    Require(ok == expected, "HID_ID accepted differently from the reference");
    if (ok)
        Require(bus == *b && vendor == *v && product == *p, "HID_ID values differ from the reference");
    else
        Require(bus == 0xDEAD && vendor == 0xBE && product == 0xEF, "a refused HID_ID changed the outputs");
}

bool ValidUtf16(const std::u16string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto keys = ParseUevent(text);
    Require(keys == ReferenceUevent(text), "uevent keys differ from the reference");
    for (const auto& [key, value] : keys) {
        Require(!key.empty() && key.find('=') == std::string::npos && key.find('\n') == std::string::npos,
                "a key that no line can give");
        Require(value.find('\n') == std::string::npos, "a value across lines");
        Require(key.size() + value.size() < size + 1, "a line longer than the text");
    }
    const auto id = keys.find("HID_ID");
    if (id != keys.end())
        CheckHidId(id->second);
    CheckHidId(text);

    // The instance number: the hex digits after the last dot of a name that does not start with it.
    std::uint32_t instance = 0x12345;
    const bool named = InstanceFromSysName(text, instance);
    const std::size_t dot = text.rfind('.');
    const std::optional<std::uint32_t> suffix =
        dot == std::string::npos || dot == 0 ? std::nullopt : ReferenceHex(text.substr(dot + 1));
    Require(named == suffix.has_value() && (!named || instance == *suffix), "instance differs from the reference");

    std::uint16_t version = 0x4242;
    std::string trimmed = text;
    while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r'))
        trimmed.pop_back();
    const std::optional<std::uint32_t> bcd = ReferenceHex(trimmed);
    const bool versioned = ParseBcdDevice(text, version);
    Require(versioned == (bcd && *bcd <= 0xFFFF), "bcdDevice accepted differently from the reference");
    Require(versioned ? version == *bcd : version == 0x4242, "bcdDevice value wrong");

    // The product text: valid UTF-16, within the limit, the start of the whole text's decoding.
    const std::size_t limit = size > 0 ? data[0] : 254;
    const std::u16string product = DecodeSysfsText(text, limit);
    const std::u16string whole = DecodeSysfsText(text, static_cast<std::size_t>(-1));
    Require(product.size() <= limit, "product text over the limit");
    Require(product.size() + 1 >= std::min(limit, whole.size()), "product text cut too short");
    Require(whole.compare(0, product.size(), product) == 0, "product text is not the start of the whole");
    Require(ValidUtf16(product) && ValidUtf16(whole), "product text is not valid UTF-16");
    Require(whole.find(u'\0') == std::u16string::npos, "product text holds a zero");
    return 0;
}
