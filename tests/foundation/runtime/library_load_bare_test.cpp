// A host that exports nothing: the library falls back to the runtime heap and
// UTF-8, and finds the host window by its class name.
#include <gtest/gtest.h>
#include <windows.h>
#include "jx/host_interface.h"

namespace {

LRESULT CALLBACK PlainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(BareHost, LibraryRunsOnItsOwnFallbacks) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PlainProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"" JX_HOST_WINDOW_CLASS;
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    HWND window = CreateWindowW(windowClass.lpszClassName, L"host", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    HMODULE library = LoadLibraryW(L"jxprobe.dll");
    ASSERT_NE(library, nullptr);
    auto codePage = reinterpret_cast<UINT(__cdecl*)()>(GetProcAddress(library, "probe_code_page"));
    auto hostWindow = reinterpret_cast<HWND(__cdecl*)()>(GetProcAddress(library, "probe_host_window"));
    auto buildText = reinterpret_cast<int(__cdecl*)(int)>(GetProcAddress(library, "probe_build_text"));
    ASSERT_TRUE(codePage && hostWindow && buildText);
    EXPECT_EQ(codePage(), UINT(JX_DEFAULT_CODE_PAGE));
    EXPECT_EQ(hostWindow(), window);
    EXPECT_EQ(buildText(5000), 5000);
    EXPECT_TRUE(FreeLibrary(library));
    DestroyWindow(window);
    UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
}

}  // namespace
