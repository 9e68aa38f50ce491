// The dropdown list of jxgrid.dll: a modal, non-activating list that drops
// down below a control, at a screen rectangle or at the mouse pointer, shows
// the rows of a CSV table (jx/csv_table.h) and returns what the user did as
// a set of JX_DROPDOWN_RESULT_* bits. The call runs its own message loop on
// the calling thread; the window that had the keyboard focus keeps it.
//
// The table: row 0 holds settings, rows 1..n are the items (item i is row
// i+1). A cell that is missing or not a number counts as not given.
//
//   row 0, column 0  the current item (0-based), or the check bits of items
//                    0..31 in bit-mask mode; written back on return
//          column 1  images: an HIMAGELIST as a number (the caller keeps it),
//                    or a text for the host's "__ImageListLoad"
//          column 2  JX_DROPDOWN_HEADER_* flags
//          column 4  text colour (COLORREF) of the whole list
//          column 5  background colour (COLORREF) of the whole list
//          column 6  minimal width in pixels (icon views: the column width);
//                    negative: quarters of the font's average character width
//          column 7  the most rows shown at once
//   item   column 0  text
//          column 1  image index (-1 none)
//          column 2  JX_DROPDOWN_ITEM_* flags
//          column 3  info tip shown beside the item under the mouse
//          column 4  text colour, column 5 background colour
//          column 6  indentation in image widths (16 pixels without images)
//
// Text is 8-bit in the allocator table's code page.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <assert.h>

#ifdef __cplusplus
extern "C" {
#endif

#define JX_DROPDOWN_CLASS "JX_Dropdown"
#define JX_DROPDOWN_CLASS_W L"JX_Dropdown"
// Control id of the list view inside the popup window (IDropdownPopup::GetListWindow).
#define JX_DROPDOWN_LIST_ID 1010

// Header flags (row 0, column 2)
#define JX_DROPDOWN_HEADER_CHECKMODE_MASK 0x03  // nonzero: check boxes
#define JX_DROPDOWN_HEADER_CHECK_ARRAY 0x01     // check mode 1: the caller's check array holds the states
#define JX_DROPDOWN_HEADER_BITMASK 0x02         // the checks of items 0..31 travel as the bits of one integer
#define JX_DROPDOWN_HEADER_STAY_OPEN 0x04       // do not close when the mouse moves away
#define JX_DROPDOWN_HEADER_GREY_DEFAULTS 0x08   // grey disabled items, green headings, when no colour is given
#define JX_DROPDOWN_HEADER_VIEW_MASK 0x30
#define JX_DROPDOWN_VIEW_REPORT 0x00            // one column of items
#define JX_DROPDOWN_VIEW_ICONS_LEFT 0x10        // small icons aligned left
#define JX_DROPDOWN_VIEW_ICONS 0x20             // small icons
#define JX_DROPDOWN_HEADER_AUTO_WIDTH 0x40      // width from the contents even when an anchor gives one
#define JX_DROPDOWN_HEADER_FADE 0x80            // fade in (combo-box animation setting) instead of a slide

// Item flags (item row, column 2)
#define JX_DROPDOWN_ITEM_CHECKED 0x01
#define JX_DROPDOWN_ITEM_NO_CHECKBOX 0x02  // in check mode a plain item that can be chosen
#define JX_DROPDOWN_ITEM_DISABLED 0x04
#define JX_DROPDOWN_ITEM_BOLD 0x08
#define JX_DROPDOWN_ITEM_COMMAND 0x10      // in check mode: a click on its text chooses it and closes
#define JX_DROPDOWN_ITEM_EXCLUSIVE 0x20    // checking it unchecks the run of exclusive items around it
#define JX_DROPDOWN_ITEM_CHANGED 0x80      // output only: the check changed
#define JX_DROPDOWN_ITEM_INPUT_MASK 0x7F
#define JX_DROPDOWN_ITEM_HEADING 0x0E      // all three bits: a heading

// Call flags of the ShowDropdown functions
#define JX_DROPDOWN_FROM_TABLE 0x1          // current item from cell (0,0); write checks back even unchanged
#define JX_DROPDOWN_SORT 0x8                // sort the items by text first
#define JX_DROPDOWN_MOUSE_EVENTS 0x10       // mouse moves reach the callback (code JX_DROPDOWN_EVENT_MOUSE)
#define JX_DROPDOWN_EXCLUDE_RECT 0x20       // the rectangle is an exclusion rectangle (a menu item)
#define JX_DROPDOWN_RESERVED_FLAGS 0x7F000000  // cleared by the list functions
#define JX_DROPDOWN_SAFEARRAY 0x80000000u   // the check array is a SAFEARRAY of bytes

// Result bits
#define JX_DROPDOWN_RESULT_SHOWN 0x100    // the list was shown and closed
#define JX_DROPDOWN_RESULT_ACCEPTED 0x01  // an item was chosen
#define JX_DROPDOWN_RESULT_CHECKS 0x02    // at least one check changed
#define JX_DROPDOWN_RESULT_CURRENT 0x04   // the chosen item is another than the initial one

// SetCheck flags
#define JX_DROPDOWN_CHECK_OFF 0
#define JX_DROPDOWN_CHECK_ON 1
#define JX_DROPDOWN_CHECK_TOGGLE 2
#define JX_DROPDOWN_CHECK_KEEP 3
#define JX_DROPDOWN_CHECK_OPERATION_MASK 3
#define JX_DROPDOWN_CHECK_NO_CALLBACK 0x100
#define JX_DROPDOWN_CHECK_BY_USER 0x10000      // report as the user's change (event 1, else 2)
#define JX_DROPDOWN_CHECK_NOT_COMMAND 0x20000  // refused on command items

// SetCurrent flags
#define JX_DROPDOWN_CURRENT_NO_SCROLL 0x1
#define JX_DROPDOWN_CURRENT_DOWN 0x2  // skip disabled items downwards
#define JX_DROPDOWN_CURRENT_UP 0x4    // skip disabled items upwards

// Close flags
#define JX_DROPDOWN_CLOSE_ACCEPT 0x1
#define JX_DROPDOWN_CLOSE_NO_WAKE 0x8  // do not post WM_NULL to wake the loop

// Update flags
#define JX_DROPDOWN_UPDATE_FLAGS 0x1  // re-read the item flags from column 2

// Callback event codes
#define JX_DROPDOWN_EVENT_USER_CHECK 1  // index, new checked bit
#define JX_DROPDOWN_EVENT_CHECK 2       // a SetCheck without JX_DROPDOWN_CHECK_BY_USER
#define JX_DROPDOWN_EVENT_MOUSE 10      // the mouse moved; index and value 0

// The byte array of check states that the library grows: `data` is a block
// of the allocator table (the caller frees it with the table's free).
typedef struct JxByteArray {
    BYTE* data;
    int count;
} JxByteArray;

#ifdef __cplusplus
struct IDropdownPopup;
struct ICsvTable;  // jx/csv_table.h
#else
typedef struct IDropdownPopup IDropdownPopup;
typedef struct ICsvTable ICsvTable;
#endif

// The record a callback receives: four 32-bit fields on x86.
typedef struct DropdownEvent {
    IDropdownPopup* popup;
    int code;   // JX_DROPDOWN_EVENT_*
    int index;  // item
    int value;
} DropdownEvent;
#ifndef _WIN64
static_assert(sizeof(DropdownEvent) == 16, "DropdownEvent is 16 bytes on x86");
#endif

// The callback (Windows standard calling convention); its result is ignored.
typedef int(__stdcall* DropdownCallback)(void* parameter, const DropdownEvent* event);

// Shows the table's items; returns the JX_DROPDOWN_RESULT_* bits, 0 when
// nothing was shown.
//   table     the items (jx/csv_table.h); read live while the list is open
//   current   optional: in the initial item (or check bits), out the chosen one
//   flags     JX_DROPDOWN_* call flags
//   anchor    optional: the control the list drops down from; its font is used
//   rect      optional, screen coordinates: where the list opens and its minimal
//             width; a height of 3 or more bounds the list's height. With
//             JX_DROPDOWN_EXCLUDE_RECT it is collapsed to its top-right corner.
//   popupOut  optional: the popup's interface during the call, null afterwards
//   checks    optional: a JxByteArray*, or with JX_DROPDOWN_SAFEARRAY a SAFEARRAY**
//             of VT_UI1; used in check mode 1 only. Each byte ends as the
//             item's flags & 0x81.
int __cdecl ShowDropdown(ICsvTable* table, int* current, unsigned flags, HWND anchor, RECT* rect,
                         DropdownCallback callback, void* parameter, IDropdownPopup** popupOut, void* checks);
// ShowDropdown with the check array as a SAFEARRAY of bytes.
int __cdecl ShowDropdownList(ICsvTable* table, int* current, SAFEARRAY** checks, unsigned flags, HWND anchor,
                             RECT* rect, DropdownCallback callback, void* parameter, IDropdownPopup** popupOut);
// The items as CSV text (8-bit); invalid text is reported to the host window
// as "Invalid CSV string:\r\n<text>" and gives 0.
int __cdecl ShowDropdownListSimple(const char* csvText, int* current, SAFEARRAY** checks, unsigned flags,
                                   HWND anchor, RECT* rect);
// A bit-mask check list beside an item of an open menu (`item` > 0 a command
// id, else the negated position) that edits the bits of *flagsInOut that
// `mask` selects (bits 0 to 30), the k-th set bit of `mask` being item k. Returns 1 when a
// check changed and *flagsInOut was updated, else 0 (also while another such
// list is open in the process).
int __cdecl ShowDropdownMenuItemFlags(HMENU menu, int item, const char* csvText, unsigned* flagsInOut,
                                      unsigned mask);

#ifdef __cplusplus
}

// {3426CF3C-F7C1-4322-A292-463DB8729B54}, the identifier the CSV table answers too
inline constexpr GUID IID_IDropdownPopup = {0x3426CF3C, 0xF7C1, 0x4322, {0xA2, 0x92, 0x46, 0x3D, 0xB8, 0x72, 0x9B, 0x54}};

// The popup of one show call, valid during the call. Every method returns
// S_OK unless said.
struct IDropdownPopup : public IUnknown {
    // JX_DROPDOWN_CHECK_* flags; S_FALSE when refused (no check mode, no such
    // item, an item without check box, a command item with _NOT_COMMAND).
    virtual HRESULT STDMETHODCALLTYPE SetCheck(int index, unsigned flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCheck(int index, int* checked) = 0;
    // JX_DROPDOWN_CURRENT_* flags; newCurrent optional.
    virtual HRESULT STDMETHODCALLTYPE SetCurrent(int index, unsigned flags, int* newCurrent) = 0;
    // JX_DROPDOWN_CLOSE_* flags; only the first call counts.
    virtual HRESULT STDMETHODCALLTYPE Close(unsigned flags) = 0;
    // Re-reads the table for items first..last (JX_DROPDOWN_UPDATE_* flags) and redraws them.
    virtual HRESULT STDMETHODCALLTYPE Update(int first, int last, unsigned flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPopupWindow(HWND* window) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetListWindow(HWND* window) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrent(int* index) = 0;
    // Copies the item flags into the array (re-created when shorter).
    virtual HRESULT STDMETHODCALLTYPE GetStates(JxByteArray* states) = 0;
    // The table, with a reference added; the interface *table held is released.
    virtual HRESULT STDMETHODCALLTYPE GetTable(IUnknown** table) = 0;
};
#endif
