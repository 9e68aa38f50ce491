// The process's DPI state: the primary monitor's DPI and whether windows of
// other processes may live in DPI-virtualised coordinates (Windows Vista to 8).
#pragma once
#include <windows.h>

constexpr int kDefaultDpi = 96;

// The primary monitor's vertical DPI (the state is computed on first need).
int GetSystemDpi();
// Scales 2 * |pairs| values in place: pairs > 0 logical to physical
// (* dpi / 96), pairs < 0 physical to logical.
void ScaleByDpi(LONG* values, int pairs);
inline void ScaleRectByDpi(RECT* rect, bool toPhysical) { ScaleByDpi(&rect->left, toPhysical ? 2 : -2); }

// Reserved window values of IsDpiVirtualized
inline const HWND kDpiAskActive = reinterpret_cast<HWND>(1);        // is virtualisation active at all
inline const HWND kDpiRecomputeAndAsk = reinterpret_cast<HWND>(2);  // recompute the state (DPI change), then as 1
// Whether `hwnd`, a window of another thread, lives in DPI-virtualised
// coordinates. Always false outside Windows Vista to 8.
bool IsDpiVirtualized(HWND hwnd);
