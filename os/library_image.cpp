// Checking a library's headers against its size; see library_image.h.
#include "os/library_image.h"

#include <QFile>
#include <QIODevice>
#include <cstdint>

namespace os {

namespace {

// Little-endian numbers at an offset of a header; zero past its end (the caller checks sizes).
std::uint64_t Number(const QByteArray& bytes, qsizetype at, int width)
{
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes.at(at + i));
    return value;
}

QByteArray ReadAt(QIODevice& file, std::uint64_t at, std::uint64_t length)
{
    if (at > static_cast<std::uint64_t>(file.size()) || length > (1U << 24) || !file.seek(static_cast<qint64>(at)))
        return {};
    const QByteArray bytes = file.read(static_cast<qint64>(length));
    return static_cast<std::uint64_t>(bytes.size()) == length ? bytes : QByteArray();
}

// A part of `length` bytes at `at` lies inside a file of `size` bytes (no overflow on the way).
bool Inside(std::uint64_t at, std::uint64_t length, std::uint64_t size)
{
    return at <= size && length <= size - at;
}

// A table of `count` entries of `entrySize` bytes at `at`, read whole; empty where it runs past
// the end or an entry is too small for its fields.
QByteArray Table(QIODevice& file, std::uint64_t at, std::uint64_t count, std::uint64_t entrySize,
                 std::uint64_t leastEntry)
{
    const auto size = static_cast<std::uint64_t>(file.size());
    if (count == 0 || entrySize < leastEntry || count > size / entrySize || !Inside(at, count * entrySize, size))
        return {};
    return ReadAt(file, at, count * entrySize);
}

// ELF64, little-endian: the program headers (what the loader maps) and the section table.
bool ElfIsWhole(QIODevice& file)
{
    constexpr int HeaderSize = 64;
    constexpr int ProgramEntry = 56;
    const QByteArray header = ReadAt(file, 0, HeaderSize);
    if (header.size() != HeaderSize || header.at(4) != 2 || header.at(5) != 1)
        return false;
    const auto size = static_cast<std::uint64_t>(file.size());
    const std::uint64_t programAt = Number(header, 32, 8);
    const std::uint64_t programSize = Number(header, 54, 2);
    const std::uint64_t programCount = Number(header, 56, 2);
    const QByteArray programs = Table(file, programAt, programCount, programSize, ProgramEntry);
    if (programs.isEmpty())
        return false;
    for (std::uint64_t i = 0; i < programCount; ++i) {
        const qsizetype entry = static_cast<qsizetype>(i) * static_cast<qsizetype>(programSize);
        if (!Inside(Number(programs, entry + 8, 8), Number(programs, entry + 32, 8), size))
            return false;
    }
    const std::uint64_t sectionsAt = Number(header, 40, 8);
    const std::uint64_t sectionSize = Number(header, 58, 2);
    const std::uint64_t sectionCount = Number(header, 60, 2);
    return sectionsAt == 0 || Inside(sectionsAt, sectionCount * sectionSize, size);
}

// PE: the COFF header behind the DOS stub, the raw data of every section, and the symbol table.
bool PeIsWhole(QIODevice& file)
{
    constexpr int SectionEntry = 40;
    const QByteArray stub = ReadAt(file, 0, 64);
    if (stub.size() != 64)
        return false;
    const std::uint64_t peAt = Number(stub, 0x3C, 4);
    const QByteArray coff = ReadAt(file, peAt, 24);
    if (coff.size() != 24 || !coff.startsWith(QByteArray("PE\0\0", 4)))
        return false;
    const std::uint64_t sectionCount = Number(coff, 6, 2);
    const std::uint64_t optionalSize = Number(coff, 20, 2);
    const QByteArray sections = Table(file, peAt + 24 + optionalSize, sectionCount, SectionEntry, SectionEntry);
    if (sections.isEmpty())
        return false;
    const auto size = static_cast<std::uint64_t>(file.size());
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
        const qsizetype entry = static_cast<qsizetype>(i) * SectionEntry;
        if (!Inside(Number(sections, entry + 20, 4), Number(sections, entry + 16, 4), size))
            return false;
    }
    // The symbol table with the string table behind it, where the linker left them (at the end).
    constexpr std::uint64_t SymbolEntry = 18;
    const std::uint64_t symbolsAt = Number(coff, 12, 4);
    if (symbolsAt == 0)
        return true;
    const std::uint64_t stringsAt = symbolsAt + Number(coff, 16, 4) * SymbolEntry;
    const QByteArray stringsSize = ReadAt(file, stringsAt, 4);
    return stringsSize.size() == 4 && Inside(stringsAt, Number(stringsSize, 0, 4), size);
}

} // namespace

bool ImageIsCutShort(QIODevice& file, TImageFormat format)
{
    const QByteArray magic = format == TImageFormat::Elf ? QByteArray("\x7F"
                                                                      "ELF")
                                                         : QByteArray("MZ");
    if (!file.seek(0) || file.peek(magic.size()) != magic)
        return false;
    return format == TImageFormat::Elf ? !ElfIsWhole(file) : !PeIsWhole(file);
}

bool LibraryFileIsCutShort(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && ImageIsCutShort(file, SystemImageFormat());
}

} // namespace os
