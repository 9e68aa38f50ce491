// Popup menus built from a line-oriented text, and tracking them even when
// the owner is not in the foreground.
//
// One item per line (a CR before the LF is dropped); leading tabs are
// skipped:
//   "-"        a separator
//   "-text"    a disabled, grayed item, otherwise like a command line
//   ">text"    a submenu item; the following lines fill the submenu
//   "<"        ends the current submenu
//   "|"        no item; the next item starts a new column
//   other      a command item; a leading non-zero number (and one space
//              after it) sets the command id, which then counts on by one
// Ids start at 1. A tab in an item's text separates the shortcut text.
#pragma once
#include <windows.h>

// Appends the items of `text` to `menu`.
void BuildMenuFromText(HMENU menu, const char* text);
// The same from lines; a negative `count` means the array ends with null.
void BuildMenuFromLines(HMENU menu, const char* const* lines, int count);

// Flag of TrackPopup: return TrackPopupMenuEx's success instead of the
// chosen command id (the meaning of TPM_RETURNCMD is inverted).
constexpr UINT kTrackReturnSuccess = TPM_RETURNCMD;

// Shows `menu` at `point` (screen coordinates; the cursor position when
// null) and waits until it is closed. `flags` are TrackPopupMenuEx flags
// with TPM_RETURNCMD inverted. When `owner` is not the foreground window
// (or is null) the menu takes no activation and is closed by a click
// outside it or a change of the foreground window.
int TrackPopup(HMENU menu, HWND owner, UINT flags, const POINT* point);
