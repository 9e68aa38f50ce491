// Windows that the user-interface tests create and destroy.
#pragma once
#include <windows.h>
#include <memory>
#include <type_traits>

namespace ui_test {

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using ScopedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

// A window of a system class; a child when `parent` is given.
inline ScopedWindow MakeWindow(const wchar_t* className, DWORD style, HWND parent = nullptr, int id = 0,
                               const wchar_t* text = L"") {
    if (parent) style |= WS_CHILD;
    return ScopedWindow(CreateWindowExW(0, className, text, style, 0, 0, 200, 100, parent,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr));
}

}  // namespace ui_test
