// The exported dropdown functions of jxgrid.dll.
#include <windows.h>
#include "csv/csv_table.h"
#include "dropdown_popup.h"
#include "runtime/com_reference.h"
#include "runtime/errors.h"
#include "runtime/host_boundary.h"
#include "window/window_utils.h"

namespace {

using controls::DropdownPopup;

// The call flags the list functions pass on: the reserved bits cleared, the
// check array always a SAFEARRAY.
unsigned ListCallFlags(unsigned flags) { return (flags & ~unsigned(JX_DROPDOWN_RESERVED_FLAGS)) | JX_DROPDOWN_SAFEARRAY; }

// One ShowDropdownMenuItemFlags list at a time in the process.
LONG g_menuListBusy = 0;

struct MenuListTurn {
    bool taken = InterlockedCompareExchange(&g_menuListBusy, 1, 0) == 0;
    ~MenuListTurn() {
        if (taken) InterlockedExchange(&g_menuListBusy, 0);
    }
};

// What the menu-tracking callback needs of its call.
struct MenuItemList {
    IDropdownPopup* popup = nullptr;
    RECT itemRect = {};
    POINT reference = {};
};

// Closes the list when the pointer goes back into the menu elsewhere than
// on its item.
int __stdcall TrackMenuPointer(void* parameter, const DropdownEvent* event) {
    auto* list = static_cast<MenuItemList*>(parameter);
    if (!event || event->code != JX_DROPDOWN_EVENT_MOUSE || !list->popup) return 0;
    POINT cursor = {};
    GetCursorPosEx(&cursor);
    if (PtInRect(&list->itemRect, cursor)) return 0;
    if (controls::PointerReturnedToMenu(cursor, list->reference)) {
        list->popup->Close(0);
        list->popup = nullptr;
    }
    return 0;
}

int MenuItemPosition(HMENU menu, int item) {
    if (item <= 0) return -item;
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position)
        if (GetMenuItemID(menu, position) == UINT(item)) return position;
    return -1;
}

// The k-th set bit of `mask` (k from 1) and bit k of the check bits are one flag.
unsigned PackMaskedFlags(unsigned flags, unsigned mask) {
    unsigned bits = 0;
    for (int i = 0, k = 0; i < 31; ++i)
        if (mask & (1u << i)) {
            ++k;
            if (flags & (1u << i)) bits |= 1u << k;
        }
    return bits;
}

unsigned UnpackMaskedFlags(unsigned flags, unsigned bits, unsigned mask) {
    for (int i = 0, k = 0; i < 31; ++i)
        if (mask & (1u << i)) {
            ++k;
            if (bits & (1u << k))
                flags |= 1u << i;
            else
                flags &= ~(1u << i);
        }
    return flags;
}

}  // namespace

int controls::RunDropdown(ICsvTable* table, int* current, unsigned flags, HWND anchor, RECT* rect,
                          DropdownCallback callback, void* parameter, IDropdownPopup** popupOut, void* checks) {
    // Not ours, but it must outlive the call: a host may release its
    // reference from the callback or a timer while the list is open.
    if (table) table->AddRef();
    const ComReference<ICsvTable> heldTable(table);
    ComReference<DropdownPopup> popup(new DropdownPopup());
    // The caller sees the popup during the call only, whichever way it ends.
    struct OutPointer {
        IDropdownPopup** out;
        ~OutPointer() {
            if (out) *out = nullptr;
        }
    } outPointer{popupOut};
    if (popupOut) *popupOut = popup.Get();
    return popup->Run({table, current, flags, anchor, rect, callback, parameter, checks});
}

extern "C" int __cdecl ShowDropdown(ICsvTable* table, int* current, unsigned flags, HWND anchor, RECT* rect,
                                    DropdownCallback callback, void* parameter, IDropdownPopup** popupOut,
                                    void* checks) {
    return AtHostBoundary(
        [&] { return controls::RunDropdown(table, current, flags, anchor, rect, callback, parameter, popupOut, checks); });
}

extern "C" int __cdecl ShowDropdownList(ICsvTable* table, int* current, SAFEARRAY** checks, unsigned flags,
                                        HWND anchor, RECT* rect, DropdownCallback callback, void* parameter,
                                        IDropdownPopup** popupOut) {
    return AtHostBoundary([&]() -> int {
        return controls::RunDropdown(table, current, ListCallFlags(flags), anchor, rect, callback, parameter, popupOut, checks);
    });
}

extern "C" int __cdecl ShowDropdownListSimple(const char* csvText, int* current, SAFEARRAY** checks, unsigned flags,
                                              HWND anchor, RECT* rect) {
    return AtHostBoundary([&]() -> int {
        if (!csvText || !*csvText) return 0;
        ComReference<CsvTable> table(new CsvTable());
        if (FAILED(table->FromText(csvText))) {
            ReportError("Invalid CSV string:\r\n%s", csvText);
            return 0;
        }
        return controls::RunDropdown(table.Get(), current, ListCallFlags(flags), anchor, rect, nullptr, nullptr, nullptr, checks);
    });
}

extern "C" int __cdecl ShowDropdownMenuItemFlags(HMENU menu, int item, const char* csvText, unsigned* flagsInOut,
                                                 unsigned mask) {
    return AtHostBoundary([&]() -> int {
        MenuListTurn turn;
        if (!turn.taken || !flagsInOut || !csvText) return 0;
        int bits = int(PackMaskedFlags(*flagsInOut, mask));

        const int position = MenuItemPosition(menu, item);
        MenuItemList list;
        if (position < 0 || !GetMenuItemRect(nullptr, menu, UINT(position), &list.itemRect)) return 0;
        ComReference<CsvTable> table(new CsvTable());
        if (FAILED(table->FromText(csvText))) return 0;

        int result;
        if (item > 0) {
            GetCursorPosEx(&list.reference);
            RECT corner = {list.itemRect.right, list.itemRect.top, list.itemRect.right, list.itemRect.top};
            result = controls::RunDropdown(table.Get(), &bits, JX_DROPDOWN_MOUSE_EVENTS, nullptr, &corner, TrackMenuPointer, &list,
                                  &list.popup, nullptr);
        } else {
            RECT exclusion = list.itemRect;
            result = controls::RunDropdown(table.Get(), &bits, JX_DROPDOWN_EXCLUDE_RECT, nullptr, &exclusion, nullptr, nullptr,
                                  nullptr, nullptr);
        }
        if (!(result & JX_DROPDOWN_RESULT_CHECKS)) return 0;
        *flagsInOut = UnpackMaskedFlags(*flagsInOut, unsigned(bits), mask);
        return 1;
    });
}
