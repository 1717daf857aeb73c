// Shared helpers of the Linux backend tests: descriptors kept as commented hex text, scratch
// directories for fake sysfs trees, a look at what another thread waits in.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace hidlinuxtest {

inline std::vector<std::uint8_t> LoadHex(const std::string& name)
{
    std::ifstream file(std::string(METEO_TEST_DATA) + "/" + name);
    if (!file)
        throw std::runtime_error("missing test data " + name);
    std::vector<std::uint8_t> bytes;
    std::string line;
    while (std::getline(file, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string word;
        while (words >> word)
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    }
    return bytes;
}

class ScratchDirectory
{
public:
    ScratchDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "hid_linux_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a scratch directory");
        Path = pattern;
    }
    ~ScratchDirectory()
    {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::filesystem::path Path;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& content)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& content)
{
    WriteFile(path, std::string(content.begin(), content.end()));
}

// Lays out sysfs as the kernel does for a HID device on a USB interface; returns the HID directory.
inline std::filesystem::path AddUsbHidDevice(const std::filesystem::path& root, const std::string& hidName,
                                             const std::string& uevent, const std::string& product)
{
    const auto usb = root / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
    WriteFile(usb / "idVendor", std::string("2112\n"));
    WriteFile(usb / "bcdDevice", std::string("0105\n"));
    if (!product.empty())
        WriteFile(usb / "product", product + "\n");
    const auto hid = usb / "1-2:1.0" / hidName;
    WriteFile(hid / "uevent", uevent);
    WriteFile(hid / "report_descriptor", LoadHex("station.hex"));
    return hid;
}

// A character device node of the HID device (a "hidraw" or an "input" one), as /sys/dev/char shows it.
inline void AddCharNode(const std::filesystem::path& root, const std::filesystem::path& hid,
                        const std::string& subsystem, unsigned major, unsigned minor)
{
    namespace fs = std::filesystem;
    const fs::path node = hid / subsystem / (subsystem + std::to_string(minor));
    fs::create_directories(node);
    fs::create_directories(root / "class" / subsystem);
    fs::create_directory_symlink(root / "class" / subsystem, node / "subsystem");
    fs::create_directory_symlink(hid, node / "device");
    fs::create_directories(root / "dev/char");
    fs::create_directory_symlink(node, root / "dev/char" / (std::to_string(major) + ":" + std::to_string(minor)));
}

// Waits until the thread `tid` of this process (0: not started yet) sleeps in poll, as a read's
// wait does, so what follows lands during that wait; false when it does not within 10 s. Runs no
// event loop, so any thread may wait so.
inline bool WaitUntilPolling(const std::atomic<pid_t>& tid)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        long number = -1;
        if (tid.load() != 0) // the system call the thread is blocked in comes first
            std::ifstream("/proc/self/task/" + std::to_string(tid.load()) + "/syscall") >> number;
        if (number == SYS_poll || number == SYS_ppoll)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
}

} // namespace hidlinuxtest
