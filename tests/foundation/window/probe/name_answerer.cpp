// A control of another process for the control-name search: a child of the
// window given on the command line that counts the name requests it gets
// (its window text) and answers none, since the buffer address of another
// process means nothing here. Ends when its window is closed.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "jx/controls.h"

namespace {

int g_asked = 0;

LRESULT CALLBACK AnswererProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT nameMessage = RegisterWindowMessageA(JX_MSG_GETCONTROLNAME);
    if (message == nameMessage) {
        ++g_asked;
        return 0;
    }
    if (message == WM_GETTEXT && wParam > 0) {
        return snprintf(reinterpret_cast<char*>(lParam), size_t(wParam), "%d", g_asked);
    }
    if (message == WM_GETTEXTLENGTH) return 16;
    if (message == WM_CLOSE) {
        DestroyWindow(window);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const HWND parent = reinterpret_cast<HWND>(static_cast<INT_PTR>(_strtoi64(argv[1], nullptr, 0)));
    WNDCLASSA info = {};
    info.lpfnWndProc = AnswererProc;
    info.hInstance = GetModuleHandleA(nullptr);
    info.lpszClassName = "JX_TestNameAnswerer";
    if (!RegisterClassA(&info)) return 3;
    if (!CreateWindowExA(0, info.lpszClassName, "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent, nullptr,
                         info.hInstance, nullptr))
        return 4;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
