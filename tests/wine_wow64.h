// Tests that Wine's experimental WoW64 mode (Wine 8.0, which runs the x86
// tests here) cannot hold. Each skip names what Wine gets wrong; on Windows
// and in the x64 run the test runs as usual.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>

namespace wine_wow64 {

inline bool Active() {
#if defined(_WIN64)
    return false;
#else
    static const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return underWine;
#endif
}

// The limitations seen, one line each.
inline constexpr char kEditCrashes[] = "Wine's WoW64 gdi32 crashes when a 32-bit Edit control is created";
inline constexpr char kNoIcons[] =
    "Wine's WoW64 user32 loads no icon or cursor from a file or a module (LoadImageW, LoadCursorW give null)";
inline constexpr char kFonts[] = "Wine's WoW64 gdi32 describes no font of a 32-bit program (GetObjectW gives zeroes)";
inline constexpr char kNoComboBox[] = "Wine's WoW64 user32 creates no 32-bit ComboBox control";
inline constexpr char kCrossThreadCopyData[] = "Wine's WoW64 user32 does not pass WM_COPYDATA between threads";

}  // namespace wine_wow64

// Skips the current test under Wine's WoW64 mode, with the reason.
#define SKIP_UNDER_WINE_WOW64(reason) \
    do {                               \
        if (wine_wow64::Active()) GTEST_SKIP() << (reason); \
    } while (0)
