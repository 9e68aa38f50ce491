// Thin functions over list-view and header messages, sent through
// CallWindowProcDirect. Text is 8-bit in the library code page.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <vector>
#include "runtime/host_alloc.h"

using ItemIndexList = std::vector<int, HostAllocator<int>>;

// A negative `width` is that percentage of the client width, less the
// vertical scroll bar's width when `minusScrollBar`. Returns the new index.
int ListViewInsertColumn(HWND listView, int index, const char* text, int width, bool minusScrollBar);
// Inserts an item from `itemTemplate` (or zeros) with text and lParam; a
// negative `index` appends. `image` < 0 sets no image; a non-zero `overlay`
// sets that overlay image. Returns the new index, -1 on failure.
int ListViewInsertItem(HWND listView, int index, const char* text, LPARAM lParam, int image, int overlay,
                       const LVITEMW* itemTemplate);
// Fills the members `item.mask` names: the text (UTF-16 as it is when
// `wide`, else converted to a temporary string that lives until the
// thread's next few conversions), the image, the overlay and state images
// (with LVIF_STATE; a negative index leaves that part alone) and the indent.
void ListViewSetItemFields(LVITEMW& item, bool wide, const char* text, int image, int overlay, int stateImage,
                           int indent);

int ListViewGetFocusedSelected(HWND listView);
// `index` -1 is every item.
BOOL ListViewSetItemState(HWND listView, int index, UINT state, UINT mask);
// Clears focus and selection everywhere, then focuses and selects `index`
// when it is not negative, scrolling it fully into view when asked.
void ListViewSelectOnly(HWND listView, int index, bool ensureVisible);
// Every selected index in order into `indexes`.
void ListViewGetSelection(HWND listView, ItemIndexList& indexes);
bool ListViewSetInsertMark(HWND listView, int index, bool after);

int ListViewColumnCount(HWND listView);
// The one of the first `count` columns shown at client x `x`, whatever the
// horizontal scrolling and the columns' display order; -1 when none.
int ListViewColumnFromX(HWND listView, int count, int x);
// The item at a client point; `flags` receives the hit-test flags, which are
// 0 (not LVHT_NOWHERE) for a point outside the client area.
int ListViewHitTest(HWND listView, int x, int y, UINT* flags);
int ListViewHitTestCursor(HWND listView, UINT* flags);
// `code` is LVIR_BOUNDS, LVIR_ICON, LVIR_LABEL or LVIR_SELECTBOUNDS.
BOOL ListViewGetItemRect(HWND listView, int index, RECT* rect, int code);
BOOL ListViewGetSubItemRect(HWND listView, int item, int subItem, int code, RECT* rect);

// Sort directions of ListViewSortArrow
enum SortDirection : int { kSortDescending = -1, kSortNone = 0, kSortAscending = 1 };
// Flags of ListViewSortArrow
enum SortArrowFlag : unsigned {
    kSortArrowQuery = 1,        // only read the column's direction
    kSortArrowClearOthers = 2,  // first remove the arrow of every other column
};
// Shows `direction` as the column's header arrow; returns the direction the
// column had.
int ListViewSortArrow(HWND listView, int column, int direction, unsigned flags);

// Scales the widths of the first `count` columns so that together they fill
// the client width.
void ListViewFitColumns(HWND listView, int count);
