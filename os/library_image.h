// Whether a library file is whole before the system's loader gets it. A file cut short (what a
// full disk during an upgrade leaves) has parts that its headers place past its end; the loader
// maps them and the program dies of a bus error on the first touch instead of hearing of a bad
// file; the few headers read here tell such a file beforehand. Both formats are read on every system, so that each is
// tested everywhere; SystemImageFormat says which one the running system loads (library_format_posix.cpp,
// library_format_windows.cpp).
#pragma once

#include <QString>

class QIODevice;

namespace os {

enum class TImageFormat { Elf, Pe };

// True where the file starts as an image of the format but its headers are cut off, or a part
// they place runs past its end. Another kind of file is no business of this check: the loader
// refuses it safely by itself.
bool ImageIsCutShort(QIODevice& file, TImageFormat format);
TImageFormat SystemImageFormat();
// The file at `path` is a library of the system's format cut short; false where it cannot be read.
bool LibraryFileIsCutShort(const QString& path);

} // namespace os
