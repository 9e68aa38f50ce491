// The JX_Grid window: class registration, the window procedure, the parent
// hook, display data and the list-view messages reshaped over the table.
#include <windowsx.h>
#include <string.h>
#include <algorithm>
#include <new>
#include <vector>
#include "csv/quick_sort.h"
#include "grid.h"
#include "grid_text.h"
#include "runtime/host_boundary.h"
#include "window/list_view_helpers.h"
#include "window/window_class.h"
#include "window/window_utils.h"

namespace grid {
namespace {

// Report view over owner data with shared image lists, no label editing and
// no scroll-bar or view bits of the caller's.
constexpr DWORD kClearedStyle =
    WS_CLIPCHILDREN | WS_VSCROLL | LVS_OWNERDATA | LVS_EDITLABELS | LVS_SHAREIMAGELISTS | LVS_TYPEMASK;
constexpr DWORD kForcedStyle = WS_CLIPCHILDREN | LVS_OWNERDATA | LVS_SHAREIMAGELISTS | LVS_REPORT;
constexpr DWORD kForcedExStyle = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;
// The mask that LVM_SETEXTENDEDLISTVIEWSTYLE means by 0: every bit but
// those the grid's rows and hit-testing rely on.
constexpr WPARAM kAllExStyles = 0xFFFFFFFF & ~WPARAM(kForcedExStyle);
// Overlay and state images come from the rows.
constexpr UINT kRowImageBits = LVIS_OVERLAYMASK | LVIS_STATEIMAGEMASK;
constexpr UINT_PTR kParentHookId = 1;
// The small image list that keeps rows at least this high.
constexpr int kRowImageWidth = 1;
constexpr int kRowImageHeight = 16;
// A press this close to the left edge is the list view's.
constexpr int kLeftEdgeWidth = 4;
// Multi-line tooltips of the list view get this width.
constexpr int kMultiLineTipWidth = 500;
// Rows a grid can have: the list view's limit for owner data.
constexpr int kMaxRows = 100000000;

SuperclassInfo g_class;
// Registers the class once the module state knows this library's instance.
struct GridClassRegistrar {
    GridClassRegistrar() {
        g_class.Register(WC_LISTVIEWA, JX_GRID_CLASS, Grid::Procedure, int(sizeof(Grid*)), CS_GLOBALCLASS);
    }
} g_registrar;

// The grid whose editor is open, for the parent's clicks (one for the library).
HWND g_editedGrid = nullptr;

void ForceStyle(LPARAM create) {
    auto* info = reinterpret_cast<CREATESTRUCTW*>(create);
    info->style = (info->style & ~LONG(kClearedStyle)) | LONG(kForcedStyle);
}

LRESULT CALLBACK ParentHook(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    return AtHostBoundary([&]() -> LRESULT {
        switch (message) {
        case WM_NOTIFY:
            if (auto* header = reinterpret_cast<NMHDR*>(lParam))
                if (Grid* grid = Grid::Of(header->hwndFrom)) grid->OnParentNotify(header);
            break;
        case WM_LBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
            if (g_editedGrid) SendMessageW(g_editedGrid, WM_CANCELMODE, 0, 0);
            break;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, ParentHook, id);
            break;
        }
        return DefSubclassProc(window, message, wParam, lParam);
    });
}

// Looks for a grid child of the same parent other than the one leaving.
struct OtherGridSearch {
    HWND leaving;
    bool found;
};

BOOL CALLBACK FindOtherGrid(HWND child, LPARAM context) {
    auto* search = reinterpret_cast<OtherGridSearch*>(context);
    if (child != search->leaving && GetParent(child) == GetParent(search->leaving) && Grid::Of(child))
        search->found = true;
    return !search->found;
}

bool KeepsOtherGrid(HWND parent, HWND leaving) {
    OtherGridSearch search = {leaving, false};
    EnumChildWindows(parent, FindOtherGrid, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

Grid* Grid::Of(HWND window) {
    if (!window || !g_class.atom || GetClassLongPtrW(window, GCW_ATOM) != g_class.atom ||
        GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId())
        return nullptr;
    return reinterpret_cast<Grid*>(GetWindowLongPtrW(window, g_class.baseExtra));
}

LRESULT CALLBACK Grid::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtHostBoundary([&]() -> LRESULT {
        auto* grid = reinterpret_cast<Grid*>(GetWindowLongPtrW(window, g_class.baseExtra));
        if (!grid) {
            if (message == WM_NCDESTROY) return g_class.CallBase(window, message, wParam, lParam);
            grid = new (std::nothrow) Grid(window);
            // Without its state the window cannot be a grid: creation fails.
            if (!grid) return message == WM_NCCREATE ? FALSE : g_class.CallBase(window, message, wParam, lParam);
            SetWindowLongPtrW(window, g_class.baseExtra, reinterpret_cast<LONG_PTR>(grid));
        }
        if (message != WM_NCDESTROY) {
            MessageScope scope(grid);
            return grid->OnMessage(message, wParam, lParam);
        }
        grid->OnDestroy();
        const LRESULT result = grid->CallBase(message, wParam, lParam);
        SetWindowLongPtrW(window, g_class.baseExtra, 0);
        if (grid->depth_ == 0)
            delete grid;
        else
            grid->destroyed_ = true;
        return result;
    });
}

LRESULT Grid::CallBase(UINT message, WPARAM wParam, LPARAM lParam) const {
    return g_class.CallBase(window_, message, wParam, lParam);
}

LRESULT Grid::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    RefreshIfPosted(message);
    switch (message) {
    case WM_NCCREATE:
        ForceStyle(lParam);
        break;
    case WM_CREATE: {
        ForceStyle(lParam);
        const LRESULT result = CallBase(message, wParam, lParam);
        if (result != -1) OnCreate();
        return result;
    }
    case WM_KEYDOWN:
        return OnKeyDown(wParam, lParam);
    case WM_CHAR:
    case WM_UNICHAR:
        return 0;  // no type-to-find
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 0;
    case WM_NOTIFY:
        return OnNotify(wParam, reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
        return OnContextMenu(wParam, lParam);
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
    case WM_CANCELMODE:
        CloseEditor();
        break;
    case WM_LBUTTONDOWN:
        return OnLButtonDown(wParam, lParam);
    case WM_LBUTTONUP:
        if (editor_) return 0;
        break;
    case WM_MBUTTONDOWN:
        RunCommand(JX_GRID_CMD_SELECT_NONE);
        return 0;
    case CCM_SETUNICODEFORMAT:
        return CallBase(message, TRUE, lParam);
    case LVM_INSERTCOLUMNA:
    case LVM_INSERTCOLUMNW:
        return OnInsertColumn(message, wParam, lParam);
    case LVM_DELETECOLUMN:
        return OnDeleteColumn(wParam);
    case LVM_SETITEMCOUNT:
        if (int(wParam) != Rows()) return 0;
        break;
    case LVM_DELETEALLITEMS:
        return OnDeleteAllItems();
    case LVM_DELETEITEM:
        return OnDeleteItem(int(wParam));
    case LVM_INSERTITEMA:
    case LVM_INSERTITEMW:
        return OnInsertItem(reinterpret_cast<const LVITEMW*>(lParam), message == LVM_INSERTITEMW);
    case LVM_SETITEMA:
    case LVM_SETITEMW:
        return OnSetItem(message, reinterpret_cast<LVITEMW*>(lParam), message == LVM_SETITEMW);
    case LVM_GETITEMA:
    case LVM_GETITEMW:
        return OnGetItem(message, reinterpret_cast<LVITEMW*>(lParam));
    case LVM_SETITEMSTATE:
        return OnSetItemState(int(wParam), reinterpret_cast<const LVITEMW*>(lParam));
    case LVM_GETITEMSTATE:
        return OnGetItemState(int(wParam), UINT(lParam));
    case LVM_GETITEMTEXTA:
    case LVM_GETITEMTEXTW:
        return OnGetItemText(int(wParam), reinterpret_cast<LVITEMW*>(lParam), message == LVM_GETITEMTEXTW);
    case LVM_SETITEMTEXTA:
    case LVM_SETITEMTEXTW:
        return OnSetItemText(int(wParam), reinterpret_cast<const LVITEMW*>(lParam), message == LVM_SETITEMTEXTW);
    case LVM_SORTITEMS:
    case LVM_SORTITEMSEX:
        return OnSortItems(message == LVM_SORTITEMSEX, LPARAM(wParam), reinterpret_cast<PFNLVCOMPARE>(lParam));
    case LVM_SETEXTENDEDLISTVIEWSTYLE:
        return OnSetExtendedStyle(wParam, lParam);
    case LVM_EDITLABELA:
    case LVM_EDITLABELW:
        return OnEditLabel(int(wParam), int(lParam));
    case LVM_GETEDITCONTROL:
        return reinterpret_cast<LRESULT>(editor_);
    case kRefreshMessage:
        return 0;  // RefreshIfPosted has done it
    case kDestroyListMessage:
        DestroyClosedList();
        return 0;
    default:
        if (message >= JX_GRID_SETSTYLE && message <= JX_GRID_SETCELLBUTTON)
            return OnGridMessage(message, wParam, lParam);
        break;
    }
    return CallBase(message, wParam, lParam);
}

void Grid::OnCreate() {
    // The list view must not react to its own style changing under it.
    const WNDPROC procedure = SetWindowProc(window_, DefWindowProcW);
    SetWindowLongW(window_, GWL_STYLE, LONG((DWORD(GetWindowLongW(window_, GWL_STYLE)) & ~kClearedStyle) | kForcedStyle));
    SetWindowProc(window_, procedure);

    SendMessageW(window_, LVM_SETEXTENDEDLISTVIEWSTYLE, kForcedExStyle, kForcedExStyle);
    CallBase(CCM_SETUNICODEFORMAT, TRUE, 0);
    CallBase(LVM_SETCALLBACKMASK, kRowImageBits, 0);
    if (HWND parent = Parent()) SetWindowSubclass(parent, ParentHook, kParentHookId, 0);

    str definition;
    WindowTextOf(window_, definition);
    if (!definition.IsEmpty()) {
        ApplyColumnDefinition(definition.Text(), JX_GRID_COLUMNS_SETTINGS_ROW);
        SendMessageW(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    }

    imageList_.reset(ImageList_Create(kRowImageWidth, kRowImageHeight, ILC_COLOR, 0, 1));
    if (!(style_ & JX_GRID_CHECK_BOXES))
        CallBase(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(imageList_.get()));
}

// The editor, a child, is gone by now: nothing is stored.
void Grid::OnDestroy() {
    editor_ = cellButton_ = editorList_ = closedList_ = nullptr;
    if (g_editedGrid == window_) g_editedGrid = nullptr;
    // The last grid of a parent takes the hook away, so that the library can
    // be unloaded while the parent lives on.
    if (HWND parent = Parent(); parent && !KeepsOtherGrid(parent, window_))
        RemoveWindowSubclass(parent, ParentHook, kParentHookId);
}

// The row commands' keys; the others go to the list view.
LRESULT Grid::OnKeyDown(WPARAM key, LPARAM keyData) {
    if (!editor_ && OnCommandKey(key)) return 0;
    return CallBase(WM_KEYDOWN, key, keyData);
}

// Check boxes, row drags and drag selection, then a click without modifiers
// on a cell edits it; below the last row it adds a row.
LRESULT Grid::OnLButtonDown(WPARAM keys, LPARAM point) {
    SetFocus(window_);
    const POINT at = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    if (at.x < kLeftEdgeWidth) {
        CloseEditor();
        return CallBase(WM_LBUTTONDOWN, keys, point);
    }
    if (OnCheckBoxPress(at)) return 0;
    if (GetModifierKeys() == 0 && (style_ & JX_GRID_ROW_DRAG) && !(style_ & JX_GRID_FIXED_ROWS)) {
        const int row = RowAt(at);
        if (IsRow(row) && TrackPress(at, row)) return 0;
    }
    if (GetModifierKeys() != 0 || !CanEdit()) {
        CloseEditor();
        return CallBase(WM_LBUTTONDOWN, keys, point);
    }
    LVHITTESTINFO hit = {};
    hit.pt = at;
    CallBase(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (IsRow(hit.iItem) && IsColumn(hit.iSubItem)) {
        RECT label = {};
        const UINT focusedSelected = LVIS_FOCUSED | LVIS_SELECTED;
        const bool rowAllowed = !(style_ & JX_GRID_EDIT_FOCUSED_ONLY) ||
                                UINT(CallBase(LVM_GETITEMSTATE, WPARAM(hit.iItem), focusedSelected)) == focusedSelected;
        const unsigned kind = CellKind(hit.iItem, hit.iSubItem);
        // A cell without an editor leaves the click to the list view, which selects the row.
        if (rowAllowed && hit.iSubItem >= FirstEditableColumn() &&
            ListViewGetSubItemRect(window_, hit.iItem, hit.iSubItem, LVIR_LABEL, &label) && PtInRect(&label, at) &&
            CellHasEditor(kind)) {
            OpenEditor(hit.iItem, hit.iSubItem, true);
            return 0;
        }
        return CallBase(WM_LBUTTONDOWN, keys, point);
    }
    RECT last = {};
    const bool belowRows =
        Rows() == 0 || (ListViewGetItemRect(window_, Rows() - 1, &last, LVIR_BOUNDS) && at.y >= last.bottom);
    const int column = ListViewColumnFromX(window_, Columns(), at.x);
    if (belowRows && !(style_ & JX_GRID_FIXED_ROWS) && column >= FirstEditableColumn()) {
        const int row = AddRow(Rows());
        if (row >= 0) OpenEditor(row, column, false);
        return 0;
    }
    return CallBase(WM_LBUTTONDOWN, keys, point);
}

void Grid::OnCommand(WPARAM wParam, LPARAM lParam) {
    // The row menu's commands come without a control.
    if (!lParam && HIWORD(wParam) == 0 && RunCommand(LOWORD(wParam))) return;
    OnEditorCommand(LOWORD(wParam), HIWORD(wParam));
}

LRESULT Grid::OnNotify(WPARAM wParam, NMHDR* header) {
    if (header && header->code == DTN_DATETIMECHANGE && header->idFrom == kDateEditorId && !editorOpening_) {
        dateChanged_ = true;
        NotifyChange(JX_GRID_REASON_EDITOR_TEXT);
    }
    const LRESULT result = CallBase(WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(header));
    if (header && header->code == TTN_GETDISPINFOW &&
        header->hwndFrom == reinterpret_cast<HWND>(CallBase(LVM_GETTOOLTIPS, 0, 0))) {
        const auto* tip = reinterpret_cast<const NMTTDISPINFOW*>(header);
        if (tip->lpszText && !IS_INTRESOURCE(tip->lpszText) && wcschr(tip->lpszText, L'\n'))
            SendMessageW(header->hwndFrom, TTM_SETMAXTIPWIDTH, 0, kMultiLineTipWidth);
    }
    return result;
}

void Grid::OnParentNotify(NMHDR* header) {
    switch (header->code) {
    case LVN_BEGINLABELEDITA:
        g_editedGrid = window_;
        break;
    case LVN_ENDLABELEDITA:
        if (g_editedGrid == window_) g_editedGrid = nullptr;
        break;
    case LVN_GETDISPINFOW:
        OnDisplayData(reinterpret_cast<NMLVDISPINFOW*>(header));
        break;
    case LVN_ITEMCHANGED:
    case LVN_BEGINDRAG: {
        // The list view has no item data in owner-data mode: the row's own goes with
        // these notifications, the grid's and the base's alike.
        auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if (IsRow(change->iItem)) change->lParam = Header(change->iItem).itemData;
        break;
    }
    }
}

void Grid::OnDisplayData(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    if (!IsRow(item.iItem) || !IsColumn(item.iSubItem)) return;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        if (item.iSubItem == 0 && (style_ & JX_GRID_ROW_NUMBERS)) {
            WriteNumber(item.iItem + 1, item.pszText, item.cchTextMax);
        } else {
            const char* text = Cell(item.iItem, item.iSubItem);
            if (item.iSubItem == 0) text = WithoutStoredPrefix(text);
            ToWideCut(text, item.pszText, item.cchTextMax, scratch_);
        }
    }
    if (item.iSubItem != 0) return;
    const RowHeader& header = Header(item.iItem);
    if (item.mask & LVIF_IMAGE) item.iImage = header.image < 0 ? I_IMAGENONE : header.image;
    if (item.mask & LVIF_PARAM) item.lParam = header.itemData;
    if (item.mask & LVIF_STATE) item.state = (item.state & ~kRowImageBits) | ((UINT(header.images) << 8) & kRowImageBits);
    if (item.mask & LVIF_INDENT) item.iIndent = header.indent;
}

// ---- Columns

LRESULT Grid::OnInsertColumn(UINT message, WPARAM index, LPARAM column) {
    if (Rows() > 0) return -1;
    const LRESULT inserted = CallBase(message, index, column);
    if (inserted >= 0 && !columns_.empty()) {
        columns_.insert(columns_.begin() + std::min<LRESULT>(inserted, Columns()), ColumnDescription{0, 0});
        table_.SetColumnCount(Columns());
        table_.SetRowHeaderSize(Columns() + kRowHeaderFixedSize);
    }
    return inserted;
}

LRESULT Grid::OnDeleteColumn(WPARAM index) {
    if (Rows() > 0) return FALSE;
    const LRESULT deleted = CallBase(LVM_DELETECOLUMN, index, 0);
    if (deleted && index < columns_.size()) {
        columns_.erase(columns_.begin() + index);
        table_.SetColumnCount(Columns());
        table_.SetRowHeaderSize(Columns() + kRowHeaderFixedSize);
    }
    return deleted;
}

// ---- Items

LRESULT Grid::OnDeleteAllItems() {
    CloseEditor();
    ClearRows();
    UpdateItemCount(false);
    return TRUE;
}

LRESULT Grid::OnDeleteItem(int row) {
    CloseEditor();
    if (!IsRow(row)) return FALSE;
    table_.RemoveRow(row);
    RowsChanged();
    PostRefresh();
    return TRUE;
}

LRESULT Grid::OnInsertItem(const LVITEMW* item, bool wide) {
    CloseEditor();
    if (!item || item->iSubItem != 0 || item->iItem < 0 || !EnsureColumns() || Rows() >= kMaxRows) return -1;
    const char* text = LibraryText((item->mask & LVIF_TEXT) ? item->pszText : nullptr, wide, scratch_);
    int row;
    table_.InsertRowPacked(std::min(item->iItem, Rows()), 1, text, 0, &row);
    RowsChanged();
    InitNewRow(row);
    SetRowProperties(row, *item);
    UpdateItemCount(true);
    return row;
}

LRESULT Grid::OnSetItem(UINT message, LVITEMW* item, bool wide) {
    if (!item) return FALSE;
    CallBase(message, 0, reinterpret_cast<LPARAM>(item));
    if (!IsRow(item->iItem) || !IsColumn(item->iSubItem)) return FALSE;
    const int row = item->iItem;
    if (item->iSubItem == 0) {
        LVITEMW properties = *item;
        properties.mask &= ~UINT(LVIF_STATE);
        SetRowProperties(row, properties);
        if (item->mask & LVIF_STATE) OnSetItemState(row, item);
    }
    if (item->mask & LVIF_TEXT) SetStoredText(row, item->iSubItem, LibraryText(item->pszText, wide, scratch_));
    RedrawRow(row);
    return TRUE;
}

LRESULT Grid::OnGetItem(UINT message, LVITEMW* item) {
    if (!item) return FALSE;
    const LRESULT result = CallBase(message, 0, reinterpret_cast<LPARAM>(item));
    if (IsRow(item->iItem) && item->iSubItem == 0 && (item->mask & LVIF_PARAM))
        item->lParam = Header(item->iItem).itemData;
    return result;
}

LRESULT Grid::OnSetItemState(int row, const LVITEMW* item) {
    const LRESULT result = CallBase(LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(item));
    if (!item || !(item->stateMask & kRowImageBits)) return result;
    LVITEMW images = {};
    images.mask = LVIF_STATE;
    images.state = item->state;
    images.stateMask = item->stateMask;
    if (row == -1) {
        for (int each = 0; each < Rows(); ++each) SetRowProperties(each, images);
        InvalidateRect(window_, nullptr, TRUE);
    } else if (IsRow(row)) {
        SetRowProperties(row, images);
        RedrawRow(row);
    }
    return result;
}

LRESULT Grid::OnGetItemState(int row, UINT mask) {
    const LRESULT state = CallBase(LVM_GETITEMSTATE, WPARAM(row), mask);
    if (!IsRow(row)) return state;
    const UINT rowBits = mask & kRowImageBits;
    return (state & ~LRESULT(rowBits)) | ((UINT(Header(row).images) << 8) & rowBits);
}

LRESULT Grid::OnGetItemText(int row, LVITEMW* item, bool wide) {
    if (!item || !IsRow(row) || !IsColumn(item->iSubItem) || !item->pszText || item->cchTextMax <= 0) return 0;
    const char* text = Cell(row, item->iSubItem);
    if (wide) return ToWideCut(text, item->pszText, item->cchTextMax, scratch_);
    return ToAnsiCut(text, reinterpret_cast<char*>(item->pszText), item->cchTextMax, scratch_);
}

LRESULT Grid::OnSetItemText(int row, const LVITEMW* item, bool wide) {
    if (!item || !IsRow(row) || !IsColumn(item->iSubItem)) return FALSE;
    SetStoredText(row, item->iSubItem, LibraryText(item->pszText, wide, scratch_));
    RedrawRow(row);
    return TRUE;
}

LRESULT Grid::OnSortItems(bool byIndex, LPARAM sortParam, PFNLVCOMPARE compare) {
    CloseEditor();
    if (!compare) return FALSE;
    const int rows = Rows();
    std::vector<int, HostAllocator<int>> order(static_cast<size_t>(rows));
    std::vector<LPARAM, HostAllocator<LPARAM>> keys(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        order[size_t(row)] = row;
        keys[size_t(row)] = byIndex ? LPARAM(row) : LPARAM(Header(row).itemData);
    }
    QuickSort(order.data(), order.size(), [&](int a, int b) {
        return compare(keys[size_t(a)], keys[size_t(b)], sortParam) < 0;
    });
    // The caller's function may have changed the rows meanwhile.
    if (Rows() != rows) return FALSE;
    table_.ReorderRows(order.data());
    RowsChanged();
    ClearRowStates(LVIS_SELECTED);
    InvalidateRect(window_, nullptr, TRUE);
    return TRUE;
}

LRESULT Grid::OnSetExtendedStyle(WPARAM mask, LPARAM style) {
    // As for any list view, no mask is every bit.
    if (mask == 0) mask = kAllExStyles;
    if (mask & JX_GRID_EX_CHECKBOX_CLICK) {
        checkboxClick_ = style & JX_GRID_EX_CHECKBOX_CLICK;
        mask &= ~WPARAM(JX_GRID_EX_CHECKBOX_CLICK);
    }
    if (!mask) return 0;
    const bool wasChecking = style_ & JX_GRID_CHECK_BOXES;
    if (mask & LVS_EX_CHECKBOXES) {
        if (style & LVS_EX_CHECKBOXES)
            style_ |= JX_GRID_CHECK_BOXES;
        else
            style_ &= ~unsigned(JX_GRID_CHECK_BOXES);
    }
    const LRESULT result = CallBase(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
    if (!wasChecking && (style_ & JX_GRID_CHECK_BOXES)) {
        CallBase(LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        for (int row = 0; row < Rows(); ++row) Header(row).SetStateImage(kUnchecked);
        InvalidateRect(window_, nullptr, TRUE);
    }
    return result;
}

LRESULT Grid::OnEditLabel(int row, int column) {
    if (row < 0) {
        CloseEditor();
        return 0;
    }
    if (column < 0) column = FirstEditableColumn();
    if (row >= Rows()) {
        CloseEditor();
        if ((style_ & JX_GRID_FIXED_ROWS) || !CanEdit() || (row = AddRow(Rows())) < 0) return 0;
    }
    return reinterpret_cast<LRESULT>(OpenEditor(row, column, false));
}

// ---- The item count

void Grid::ClearRowStates(UINT states) {
    LVITEMW item = {};
    item.stateMask = states;
    CallBase(LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));
}

void Grid::UpdateItemCount(bool oneRowAdded) {
    if (!oneRowAdded) ClearRowStates(LVIS_SELECTED);
    CallBase(LVM_SETITEMCOUNT, WPARAM(Rows()), oneRowAdded ? LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL : 0);
}

void Grid::PostRefresh() {
    if (refreshPosted_) return;
    refreshPosted_ = true;
    PostMessageW(window_, kRefreshMessage, 0, 0);
}

void Grid::RefreshIfPosted(UINT message) {
    if (!refreshPosted_ || message == LVM_DELETEITEM || message == JX_GRID_PUTROW) return;
    refreshPosted_ = false;
    if (CallBase(LVM_GETITEMCOUNT, 0, 0) != Rows())
        UpdateItemCount(false);
    else
        InvalidateRect(window_, nullptr, TRUE);
}

void Grid::RedrawRow(int row) { CallBase(LVM_REDRAWITEMS, WPARAM(row), row); }

}  // namespace grid
