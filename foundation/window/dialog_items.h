// Thin functions over button, edit and combo-box messages. Each takes a
// dialog and a control id, where id 0 means the dialog window itself.
// Messages go through CallWindowProcDirect; text is 8-bit in the library
// code page.
#pragma once
#include <windows.h>
#include "text/str.h"

// GetDlgItem, or `dialog` itself for id 0.
HWND GetItem(HWND dialog, int id);

UINT IsButtonChecked(HWND dialog, int id);
void SetButtonCheck(HWND dialog, int id, UINT state);

// WM_SETTEXT; null text sets "".
LRESULT SetItemText(HWND dialog, int id, const char* text);
// WM_SETTEXT, then everything selected.
void SetItemTextSelectAll(HWND dialog, int id, const char* text);

// Flags of ReplaceEditText
enum ReplaceEditFlag : unsigned {
    kReplaceAll = 1,              // select all first (and afterwards put the caret at the start)
    kReplaceFocusFirst = 2,       // give the edit the focus first
    kReplaceKeepSelection = 4,    // with kReplaceAll: leave the caret where the replacement put it
    kReplaceUnlessEqual = 8,      // do nothing when the text already equals `text` (case-sensitive)
};
// Replaces the selection (or, with kReplaceAll, the whole text) with `text`
// as one undoable step.
void ReplaceEditText(HWND dialog, int id, const char* text, unsigned flags);

int ComboGetCurSel(HWND dialog, int id);
int ComboSetCurSel(HWND dialog, int id, int index);
// The text of item `index` (the selected item when negative) into `out`,
// emptied first; returns the index, -1 when there is no such item.
int ComboGetItemText(HWND dialog, int id, str& out, int index);
// Index of the first item that equals (`exact`) or starts with `text`; CB_ERR when none.
int ComboFind(HWND dialog, int id, const char* text, bool exact);
// Sets the width of the drop-down list: `factor` times the control's width,
// or with 0 wide enough for the longest item text, within the screen.
void ComboSetDroppedWidth(HWND dialog, int id, double factor);
