// Shared helpers of the Linux backend tests: descriptors kept as commented hex text, scratch
// directories for fake sysfs trees.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace hidlinuxtest {

inline std::vector<std::uint8_t> LoadHex(const std::string& name)
{
    std::ifstream file(std::string(METEO_TEST_DATA) + "/" + name);
    if (!file)
        throw std::runtime_error("missing test data " + name);
    std::vector<std::uint8_t> bytes;
    std::string line;
    while (std::getline(file, line))
    {
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

} // namespace hidlinuxtest
