// Text for the user on Windows. A console program, or a window program whose output is
// redirected, writes it as UTF-8 (or to the console as UTF-16, whatever its code page); a window
// program started from a console writes to that console; one started from the desktop has none and
// shows the text in a message box.
#include "os/command_line.h"

#include <windows.h>

namespace os {

namespace {

bool Usable(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

bool WriteToHandle(HANDLE handle, const QString& text)
{
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = text.toStdWString();
        DWORD written = 0;
        return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
    }
    const QByteArray bytes = text.toUtf8();
    DWORD written = 0;
    return WriteFile(handle, bytes.constData(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
}

} // namespace

void WriteToUser(const QString& text, bool error)
{
    const DWORD which = error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    HANDLE handle = GetStdHandle(which);
    if (!Usable(handle) && AttachConsole(ATTACH_PARENT_PROCESS))
        handle = GetStdHandle(which);
    if (!Usable(handle)) {
        // A window program's standard handles stay empty after AttachConsole: the console's own.
        handle =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (Usable(handle)) {
            WriteToHandle(handle, text);
            CloseHandle(handle);
            return;
        }
    }
    if (Usable(handle) && WriteToHandle(handle, text))
        return;
    const std::wstring wide = text.toStdWString();
    MessageBoxW(nullptr, wide.c_str(), L"Метеостанция", MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

} // namespace os
