#include "hid/platform/windows/device_notice_window.h"

#include <dbt.h>

namespace hidplatform {

namespace {

constexpr const char* ClassName = "MeteostationDeviceNotices";

HINSTANCE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

} // namespace

TDeviceNoticeWindow::TDeviceNoticeWindow(std::function<void()> notice)
    : Notice(std::move(notice))
{
    const HINSTANCE instance = ThisModule();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &TDeviceNoticeWindow::WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = ClassName;
    // A second window of the process finds the class registered already.
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return;
    Window = CreateWindowExA(WS_EX_TOOLWINDOW, ClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
}

TDeviceNoticeWindow::~TDeviceNoticeWindow()
{
    if (Window != nullptr) {
        SetWindowLongPtrA(Window, GWLP_USERDATA, 0);
        DestroyWindow(Window);
    }
}

LRESULT CALLBACK TDeviceNoticeWindow::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_DEVICECHANGE && wParam == DBT_DEVNODES_CHANGED) {
        auto* self = reinterpret_cast<TDeviceNoticeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self != nullptr && self->Notice)
            self->Notice();
    }
    // Every message, handled or not, also gets the default handling (a notice is answered TRUE).
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace hidplatform
