// The combo box of jxgrid.dll: window class "JX_ComboBox", a superclass of
// the system "ComboBox" (CBS_DROPDOWN or CBS_DROPDOWNLIST; CBS_SIMPLE is
// refused) whose items live in a CSV table and whose list is the dropdown
// list of jx/dropdown.h. Row 0 of the table holds settings, rows 1..n the
// items, with the columns of jx/dropdown.h and these additions:
//
//   (0,0)  the selection, or the check bits in modes 2 and 3; may be followed
//          by a space and a text that an edit field shows when nothing is selected
//   (0,2)  the dropdown header flags plus the JX_COMBO_* flags (low 24 bits)
//   (0,3)  the cue banner
//   (i,7)  the item data of CB_SETITEMDATA and CB_GETITEMDATA
//
// The standard combo-box messages keep their meaning; CB_ADDSTRING and
// CB_INSERTSTRING take one CSV row. LB_SETSEL and LB_GETSEL set and read
// checks in the check modes. Structural messages and set-data are refused
// while the list is open.
#pragma once
#include <windows.h>
#include <assert.h>
#include "jx/dropdown.h"

#define JX_COMBO_CLASS "JX_ComboBox"
#define JX_COMBO_CLASS_W L"JX_ComboBox"
// The flags the library tells the host's "JxSetWindowClassFlags" for the class.
#define JX_COMBO_CLASS_FLAGS 9

// Registered message (RegisterWindowMessageA) that reads or writes a dialog
// control's whole state as text; the combo box answers 1.
//   wParam JX_DIALOGDATA_GET: lParam is a JxString* (jx/text_functions.h) that receives the data
//   wParam JX_DIALOGDATA_SET: lParam is a JxString* holding the CSV text of the new table
#define JX_MSG_DIALOGCONTROLDATA "WM_JX_DIALOGCONTROLDATA"
#define JX_DIALOGDATA_GET 0
#define JX_DIALOGDATA_SET 1

// Check modes (header flags bits 0-1)
#define JX_COMBO_SINGLE 0         // one selected item
#define JX_COMBO_CHECKLIST 1      // checks in bit 0 of the items' column 2, shown as texts joined by ", "
#define JX_COMBO_BITS_NUMBER 2    // checks of the first 32 items as one number, shown as that number
#define JX_COMBO_BITS_TEXTS 3     // checks as one number, shown as texts
#define JX_COMBO_CHECKMODE_MASK 3

// Combo flags (header flags)
#define JX_COMBO_DATA_TABLE 0x100      // get-data gives the whole table as CSV
#define JX_COMBO_CLICK_NO_SELECT 0x200 // a click that focuses the edit field selects no text
#define JX_COMBO_KEEP_TYPED 0x400      // nothing to show leaves the typed text alone
#define JX_COMBO_FLAG_NUMBERS 0x800    // bit-mask number shown as "1|4|0x100"
#define JX_COMBO_ADD_TYPED 0x1000      // typed text naming no item adds one
#define JX_COMBO_FLAGS_MASK 0xFFFFFF

// WM_NOTIFY code sent to the parent when the user changes a check in the open list.
#define JX_COMBO_NOTIFY_CHECK 1
typedef struct ComboCheckNotify {
    NMHDR header;  // code JX_COMBO_NOTIFY_CHECK
    IDropdownPopup* popup;
    int index;
    int checked;  // 0 or 1
} ComboCheckNotify;
#ifndef _WIN64
static_assert(sizeof(ComboCheckNotify) == 24, "ComboCheckNotify is 24 bytes on x86");
#endif
