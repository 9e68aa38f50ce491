// List-view and header helpers.
#include "window/list_view_helpers.h"
#include <limits.h>
#include "text/str.h"
#include "window/window_utils.h"

namespace {
constexpr int kPercent = 100;
// Fitting runs again once when the first pass made a scroll bar appear or vanish.
constexpr int kFitPasses = 2;

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcDirect(window, message, wParam, lParam);
}
template <class Record>
LRESULT Send(HWND window, UINT message, WPARAM wParam, Record* record) {
    return CallWindowProcDirect(window, message, wParam, reinterpret_cast<LPARAM>(record));
}

HWND HeaderOf(HWND listView) { return reinterpret_cast<HWND>(Send(listView, LVM_GETHEADER, 0, 0)); }

int ClientWidth(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    return client.right;
}

// The header format of `column`; false when it cannot be read.
bool ReadHeaderFormat(HWND header, int column, int& format) {
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    if (!Send(header, HDM_GETITEMW, WPARAM(column), &item)) return false;
    format = item.fmt;
    return true;
}
}  // namespace

int ListViewInsertColumn(HWND listView, int index, const char* text, int width, bool minusScrollBar) {
    if (width < 0) {
        const int available = ClientWidth(listView) - (minusScrollBar ? GetSystemMetrics(SM_CXVSCROLL) : 0);
        width = available * -width / kPercent;
    }
    LVCOLUMNW column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = width;
    return int(SendMessageTextField(listView, LVM_INSERTCOLUMNW, WPARAM(index), reinterpret_cast<LPARAM>(&column),
                                    &column.pszText, text ? text : ""));
}

int ListViewInsertItem(HWND listView, int index, const char* text, LPARAM lParam, int image, int overlay,
                       const LVITEMW* itemTemplate) {
    LVITEMW item = itemTemplate ? *itemTemplate : LVITEMW{};
    item.iItem = index < 0 ? INT_MAX : index;
    item.mask |= LVIF_TEXT | LVIF_PARAM;
    item.lParam = lParam;
    if (image >= 0) {
        item.mask |= LVIF_IMAGE;
        item.iImage = image;
    }
    if (overlay) {
        item.mask |= LVIF_STATE;
        item.stateMask |= LVIS_OVERLAYMASK;
        item.state = (item.state & ~UINT(LVIS_OVERLAYMASK)) | INDEXTOOVERLAYMASK(overlay);
    }
    return int(SendMessageTextField(listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item), &item.pszText,
                                    text ? text : ""));
}

void ListViewSetItemFields(LVITEMW& item, bool wide, const char* text, int image, int overlay, int stateImage,
                           int indent) {
    if (item.mask & LVIF_TEXT)
        item.pszText = wide ? reinterpret_cast<LPWSTR>(const_cast<char*>(text)) : TempBstr(text ? text : "");
    if (item.mask & LVIF_IMAGE) item.iImage = image;
    if (item.mask & LVIF_STATE) {
        item.state = 0;
        item.stateMask = 0;
        if (overlay >= 0) {
            item.stateMask |= LVIS_OVERLAYMASK;
            item.state |= INDEXTOOVERLAYMASK(overlay);
        }
        if (stateImage >= 0) {
            item.stateMask |= LVIS_STATEIMAGEMASK;
            item.state |= INDEXTOSTATEIMAGEMASK(stateImage);
        }
    }
    if (item.mask & LVIF_INDENT) item.iIndent = indent;
}

int ListViewGetFocusedSelected(HWND listView) {
    return int(Send(listView, LVM_GETNEXTITEM, WPARAM(-1), MAKELPARAM(LVNI_FOCUSED | LVNI_SELECTED, 0)));
}

BOOL ListViewSetItemState(HWND listView, int index, UINT state, UINT mask) {
    LVITEMW item = {};
    item.state = state;
    item.stateMask = mask;
    return BOOL(Send(listView, LVM_SETITEMSTATE, WPARAM(index), &item));
}

void ListViewSelectOnly(HWND listView, int index, bool ensureVisible) {
    const UINT focusAndSelection = LVIS_FOCUSED | LVIS_SELECTED;
    ListViewSetItemState(listView, -1, 0, focusAndSelection);
    if (index < 0) return;
    ListViewSetItemState(listView, index, focusAndSelection, focusAndSelection);
    if (ensureVisible) Send(listView, LVM_ENSUREVISIBLE, WPARAM(index), FALSE);
}

void ListViewGetSelection(HWND listView, ItemIndexList& indexes) {
    indexes.clear();
    int index = -1;
    while ((index = int(Send(listView, LVM_GETNEXTITEM, WPARAM(index), MAKELPARAM(LVNI_SELECTED, 0)))) >= 0)
        indexes.push_back(index);
}

bool ListViewSetInsertMark(HWND listView, int index, bool after) {
    LVINSERTMARK mark = {};
    mark.cbSize = sizeof(mark);
    mark.dwFlags = after ? LVIM_AFTER : 0;
    mark.iItem = index;
    return Send(listView, LVM_SETINSERTMARK, 0, &mark) != 0;
}

int ListViewColumnCount(HWND listView) { return int(Send(HeaderOf(listView), HDM_GETITEMCOUNT, 0, 0)); }

int ListViewColumnFromX(HWND listView, int count, int x) {
    // The header moves with horizontal scrolling, and its items stand where
    // the columns are shown, in the order the user may have dragged them to.
    HWND header = HeaderOf(listView);
    POINT at = {x, 0};
    MapWindowPoints(listView, header, &at, 1);
    for (int column = 0; column < count; ++column) {
        RECT item = {};
        if (Send(header, HDM_GETITEMRECT, WPARAM(column), &item) && at.x >= item.left && at.x < item.right)
            return column;
    }
    return -1;
}

int ListViewHitTest(HWND listView, int x, int y, UINT* flags) {
    LVHITTESTINFO hit = {};
    hit.pt = {x, y};
    const int index = int(Send(listView, LVM_HITTEST, 0, &hit));
    if (index < 0 && hit.flags == LVHT_NOWHERE) {
        RECT client;
        if (GetClientRect(listView, &client) && !PtInRect(&client, hit.pt)) hit.flags = 0;
    }
    if (flags) *flags = hit.flags;
    return index;
}

int ListViewHitTestCursor(HWND listView, UINT* flags) {
    POINT cursor = {};
    GetCursorClientPos(listView, &cursor);
    return ListViewHitTest(listView, cursor.x, cursor.y, flags);
}

BOOL ListViewGetItemRect(HWND listView, int index, RECT* rect, int code) {
    rect->left = code;
    return BOOL(Send(listView, LVM_GETITEMRECT, WPARAM(index), rect));
}

BOOL ListViewGetSubItemRect(HWND listView, int item, int subItem, int code, RECT* rect) {
    rect->top = subItem;
    rect->left = code;
    return BOOL(Send(listView, LVM_GETSUBITEMRECT, WPARAM(item), rect));
}

int ListViewSortArrow(HWND listView, int column, int direction, unsigned flags) {
    HWND header = HeaderOf(listView);
    int format = 0;
    if (!ReadHeaderFormat(header, column, format)) flags |= kSortArrowQuery;
    const int previous = (format & HDF_SORTUP) ? kSortAscending : (format & HDF_SORTDOWN) ? kSortDescending : kSortNone;
    if (flags & kSortArrowClearOthers) {
        const int count = int(Send(header, HDM_GETITEMCOUNT, 0, 0));
        for (int other = 0; other < count; ++other)
            if (other != column) ListViewSortArrow(listView, other, kSortNone, 0);
    }
    if (flags & kSortArrowQuery) return previous;
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    item.fmt = format & ~(HDF_SORTUP | HDF_SORTDOWN);
    if (direction > 0) item.fmt |= HDF_SORTUP;
    if (direction < 0) item.fmt |= HDF_SORTDOWN;
    Send(header, HDM_SETITEMW, WPARAM(column), &item);
    return previous;
}

void ListViewFitColumns(HWND listView, int count) {
    for (int pass = 0; pass < kFitPasses; ++pass) {
        const int client = ClientWidth(listView);
        int sum = 0;
        for (int column = 0; column < count; ++column) sum += int(Send(listView, LVM_GETCOLUMNWIDTH, WPARAM(column), 0));
        if (sum == 0 || sum == client) return;
        const double scale = double(client) / sum;
        for (int column = 0; column < count; ++column) {
            const int width = int(Send(listView, LVM_GETCOLUMNWIDTH, WPARAM(column), 0));
            Send(listView, LVM_SETCOLUMNWIDTH, WPARAM(column), MAKELPARAM(int(width * scale), 0));
        }
        if (ClientWidth(listView) == client) return;
    }
}
