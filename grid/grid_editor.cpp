// In-place editing: the editor of a cell's kind over the cell, its keys and
// focus, moving it from cell to cell, the check-box cell, the date value,
// the cell button and the dropdown list of dropdown cells.
#include <windows.h>
#include <windowsx.h>
#include <oleauto.h>
#include <string.h>
#include <algorithm>
#include <vector>
#include "grid.h"
#include "grid_text.h"
#include "jx/edit_control.h"
#include "runtime/host_boundary.h"
#include "runtime/module_state.h"
#include "text/wide_text.h"
#include "window/list_view_helpers.h"
#include "window/window_class.h"
#include "window/window_utils.h"

namespace grid {
namespace {

constexpr UINT_PTR kEditorSubclassId = 1;

// Enter must make a new line in a dialog too.
constexpr DWORD kMultiLineStyle = WS_BORDER | WS_VSCROLL | ES_AUTOVSCROLL | ES_MULTILINE | ES_WANTRETURN;
constexpr DWORD kCheckBoxStyle = BS_AUTOCHECKBOX | BS_LEFTTEXT | BS_NOTIFY | BS_FLAT;
constexpr DWORD kCellButtonStyle = WS_VISIBLE | BS_NOTIFY | BS_ICON;
constexpr DWORD kListStyle = WS_VSCROLL | CBS_DROPDOWN;
constexpr int kMultiLineRows = 4;
constexpr int kMinimumButtonEditor = 16;
constexpr int kMaximumButtonWidth = 22;
constexpr int kListHeight = 250;
constexpr int kListTop = -4;
constexpr char kCheckedText[] = "Yes";

bool IsCheckedText(const char* text) { return Compare(text, kCheckedText, true) == 0; }

unsigned BaseKind(unsigned kind) { return kind & JX_GRID_CELL_KIND_MASK; }
// Moving passes over read-only cells without a button.
bool IsPassedOver(unsigned kind) {
    return (kind & (JX_GRID_CELL_KIND_MASK | JX_GRID_CELL_BUTTON)) == JX_GRID_CELL_READONLY;
}

struct EditorClass {
    const char* className;
    int id;
    DWORD style;
};

EditorClass EditorClassOf(unsigned kind) {
    switch (BaseKind(kind)) {
    case JX_GRID_CELL_DROPDOWN:
        return {JX_EDIT_CLASS, kDropdownEditorId, ES_AUTOHSCROLL};
    case JX_GRID_CELL_CHECKBOX:
        return {"Button", kCheckBoxEditorId, kCheckBoxStyle};
    case JX_GRID_CELL_DATE:
        return {"SysDateTimePick32", kDateEditorId, (kind & JX_GRID_CELL_MULTILINE) ? DWORD(DTS_TIMEFORMAT) : 0};
    case JX_GRID_CELL_READONLY:
        return {"Edit", kTextEditorId, ES_READONLY};
    default:
        return {"Edit", kTextEditorId, (kind & JX_GRID_CELL_MULTILINE) ? kMultiLineStyle : ES_AUTOHSCROLL};
    }
}

bool IsTextKind(unsigned kind) { return BaseKind(kind) <= JX_GRID_CELL_DROPDOWN; }

// The text of a dropdown cell's list item; false when there is no such item.
bool ListItemText(HWND list, int index, str& text) {
    const int length = int(SendMessageW(list, CB_GETLBTEXTLEN, WPARAM(index), 0));
    if (length < 0) return false;
    std::vector<wchar_t, HostAllocator<wchar_t>> buffer(size_t(length) + 1);
    SendMessageW(list, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(buffer.data()));
    text.FromWide(buffer.data());
    return true;
}

}  // namespace

bool CellHasEditor(unsigned kind) {
    const unsigned base = BaseKind(kind);
    return base <= JX_GRID_CELL_DATE || (base == JX_GRID_CELL_READONLY && (kind & JX_GRID_CELL_BUTTON));
}

int Grid::FirstEditableColumn() const { return (style_ & JX_GRID_LABEL_COLUMN) ? 1 : 0; }

bool Grid::CanEdit() const {
    return !(style_ & JX_GRID_READ_ONLY) && Columns() > 0 && FirstEditableColumn() < Columns();
}

unsigned Grid::CellKind(int row, int column) const { return Header(row).kinds[column]; }

HWND Grid::OpenEditor(int row, int column, bool byClick) {
    CloseEditor();
    // The owner may have destroyed the grid while it was told of the stored text.
    if (destroyed_ || !CanEdit() || !IsRow(row) || !IsColumn(column) || column < FirstEditableColumn()) return nullptr;
    const unsigned kind = CellKind(row, column);
    if (BaseKind(kind) == JX_GRID_CELL_CHECKBOX && !(kind & JX_GRID_CELL_BUTTON) && byClick) {
        // A click toggles a check-box cell without an editor.
        SetStoredText(row, column, IsCheckedText(Cell(row, column)) ? "" : kCheckedText);
        ClearRowStates(LVIS_SELECTED);
        RedrawRow(row);
        NotifyCellChange(JX_GRID_REASON_CELL_STORED, row, column, kind);
        return nullptr;
    }
    if (!CellHasEditor(kind)) return nullptr;

    ListViewSelectOnly(window_, row, true);
    RECT cell = {};
    if (!ListViewGetSubItemRect(window_, row, column, LVIR_LABEL, &cell)) return nullptr;
    const int rowHeight = cell.bottom - cell.top;
    int width = cell.right - cell.left - 1;
    int height = rowHeight - 1;
    if (BaseKind(kind) == JX_GRID_CELL_CHECKBOX || BaseKind(kind) == JX_GRID_CELL_DATE) height = rowHeight;
    if (BaseKind(kind) == JX_GRID_CELL_TEXT && (kind & JX_GRID_CELL_MULTILINE)) {
        RECT client;
        GetClientRect(window_, &client);
        height = std::min(kMultiLineRows * rowHeight, int(client.bottom - cell.top));
    }
    const bool withButton = (kind & JX_GRID_CELL_BUTTON) && width >= kMinimumButtonEditor;
    const int buttonWidth = withButton ? std::min(kMaximumButtonWidth, width / 2) : 0;
    width -= buttonWidth;

    const EditorClass editorClass = EditorClassOf(kind);
    const WideText className(editorClass.className);
    editorOpening_ = true;
    HWND editor = CreateWindowExW(0, className.Get(), nullptr, WS_CHILD | editorClass.style, cell.left + 1, cell.top,
                                  width, height, window_, reinterpret_cast<HMENU>(INT_PTR(editorClass.id)),
                                  g_module.moduleInstance, nullptr);
    if (!editor) {
        editorOpening_ = false;
        return nullptr;
    }
    SendMessageW(editor, WM_SETFONT, SendMessageW(window_, WM_GETFONT, 0, 0), FALSE);
    const char* text = Cell(row, column);
    if (BaseKind(kind) == JX_GRID_CELL_DATE) {
        DATE date;
        SYSTEMTIME time;
        const WideText wide(text);
        if (SUCCEEDED(VarDateFromStr(const_cast<wchar_t*>(wide.Get()), LOCALE_USER_DEFAULT, 0, &date)) &&
            VariantTimeToSystemTime(date, &time))
            SendMessageW(editor, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&time));
    } else {
        SetControlText(editor, text);
        if (BaseKind(kind) == JX_GRID_CELL_CHECKBOX) {
            DisableVisualStyles(editor);
            SendMessageW(editor, BM_SETCHECK, IsCheckedText(text) ? BST_CHECKED : BST_UNCHECKED, 0);
        } else {
            SendMessageW(editor, EM_SETSEL, 0, -1);
        }
    }
    editor_ = editor;
    editorRow_ = row;
    editorColumn_ = column;
    editorKind_ = kind;
    SetWindowSubclass(editor, EditorSubclass, kEditorSubclassId, reinterpret_cast<DWORD_PTR>(this));
    if (withButton) {
        cellButton_ = CreateWindowExW(0, L"Button", nullptr, WS_CHILD | kCellButtonStyle, cell.left + 1 + width,
                                      cell.top - 2, buttonWidth, rowHeight + 3, window_,
                                      reinterpret_cast<HMENU>(INT_PTR(kCellButtonId)), g_module.moduleInstance, nullptr);
        if (cellButton_) SetWindowSubclass(cellButton_, EditorSubclass, kEditorSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    editorOpening_ = false;

    NMLVDISPINFOA info = {};
    info.item.mask = LVIF_TEXT;
    info.item.iItem = row;
    info.item.iSubItem = column;
    info.item.pszText = const_cast<char*>(text);
    if (SendNotify(info.hdr, LVN_BEGINLABELEDITA) != 0) {
        // Refused: the windows go without a word.
        DestroyEditorWindows();
        return nullptr;
    }
    if (!editor_) return nullptr;  // the owner closed it meanwhile
    ShowWindow(editor_, SW_SHOW);
    SetFocus(BaseKind(kind) == JX_GRID_CELL_READONLY && cellButton_ ? cellButton_ : editor_);
    return editor_;
}

void Grid::CloseEditor() {
    if (!editor_) return;
    const int row = editorRow_, column = editorColumn_;
    const unsigned kind = editorKind_;
    str text;
    // A date the user did not change keeps the cell's own text, whatever the
    // picker would show for it.
    if (!storeEmpty_) {
        if (BaseKind(kind) == JX_GRID_CELL_DATE && !dateChanged_)
            text.Assign(Cell(row, column));
        else
            WindowTextOf(editor_, text);
    }
    DestroyEditorWindows();

    NMLVDISPINFOA info = {};
    info.item.mask = LVIF_TEXT;
    info.item.iItem = row;
    info.item.iSubItem = column;
    info.item.pszText = const_cast<char*>(text.Text());
    if (SendNotify(info.hdr, LVN_ENDLABELEDITA) != 0 || !IsRow(row) || !IsColumn(column)) return;
    if (strcmp(text.Text(), Cell(row, column)) == 0) return;
    SetStoredText(row, column, text.Text());
    RedrawRow(row);
    NotifyCellChange(JX_GRID_REASON_CELL_STORED, row, column, kind);
}

void Grid::DestroyEditorWindows() {
    HWND editor = editor_, button = cellButton_;
    editor_ = cellButton_ = nullptr;
    editorList_ = closedList_ = nullptr;  // children of the editor
    storeEmpty_ = dateChanged_ = false;
    editorRow_ = editorColumn_ = -1;
    cellButtonTip_.Destroy();
    if (button) DestroyWindow(button);
    if (editor) DestroyWindow(editor);
}

HWND Grid::EditFirstEditable(int row) {
    for (int column = FirstEditableColumn(); column < Columns(); ++column)
        if (!IsPassedOver(CellKind(row, column))) return OpenEditor(row, column, false);
    return nullptr;
}

int Grid::AddRow(int position) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = position;
    item.pszText = const_cast<wchar_t*>(L"");
    const int row = int(OnInsertItem(&item, true));
    if (row >= 0 && (style_ & JX_GRID_TREE)) {
        // A new row belongs where it stands: the larger indent of its neighbours.
        const int above = row > 0 ? Header(row - 1).indent : 0;
        const int below = row + 1 < Rows() ? Header(row + 1).indent : 0;
        Header(row).indent = int16_t(std::max(above, below));
    }
    if (row >= 0) NotifyCellChange(JX_GRID_REASON_ROW_ADDED, row, -1, 0);
    return row;
}

void Grid::MoveEditor(EditorMove move) {
    int row = editorRow_, column = editorColumn_;
    const int first = FirstEditableColumn(), last = Columns() - 1;
    bool added = false;
    // Every cell at most once, plus one new row.
    for (int steps = (Rows() + 2) * Columns(); steps > 0; --steps) {
        switch (move) {
        case EditorMove::kNext:
            if (++column > last) {
                column = first;
                ++row;
            }
            break;
        case EditorMove::kPrevious:
            if (--column < first) {
                if (row == 0) {
                    SetFocus(window_);
                    return;
                }
                column = last;
                --row;
            }
            break;
        case EditorMove::kUp:
            if (row == 0) {
                SetFocus(window_);
                return;
            }
            --row;
            break;
        case EditorMove::kDown:
            ++row;
            break;
        }
        if (row >= Rows()) {
            // One new row per move: a new row with nothing to edit ends it.
            CloseEditor();
            if (added || destroyed_ || (style_ & JX_GRID_FIXED_ROWS) || AddRow(Rows()) < 0) return;
            added = true;
            row = Rows() - 1;
        }
        if (!IsPassedOver(CellKind(row, column))) {
            OpenEditor(row, column, false);
            return;
        }
    }
    CloseEditor();
}

// ---- The editor's keys and focus

LRESULT CALLBACK Grid::EditorSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                      DWORD_PTR self) {
    return AtHostBoundary([&]() -> LRESULT {
        if (message == WM_NCDESTROY) {
            RemoveWindowSubclass(window, EditorSubclass, id);
            return DefSubclassProc(window, message, wParam, lParam);
        }
        Grid* grid = reinterpret_cast<Grid*>(self);
        MessageScope scope(grid);
        return grid->OnEditorMessage(window, message, wParam, lParam);
    });
}

LRESULT Grid::OnEditorMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS | DefSubclassProc(window, message, wParam, lParam);
    case WM_KEYDOWN:
        if (OnEditorKey(window, wParam)) return 0;
        break;
    case WM_CHAR:
        // The keys that move or close leave no character behind.
        if (wParam == '\t' || wParam == VK_ESCAPE || (wParam == '\r' && !IsMultiLineEditor())) return 0;
        break;
    case WM_KILLFOCUS: {
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        if (ClosesOnFocusTo(reinterpret_cast<HWND>(wParam))) CloseEditor();
        return result;
    }
    case WM_COMMAND:
        // Notifications of a list already on its way out are not news.
        if (window == editor_ && LOWORD(wParam) == kEditorListId && reinterpret_cast<HWND>(lParam) == editorList_) {
            if (HIWORD(wParam) == CBN_SELENDOK) CommitEditorList();
            if (HIWORD(wParam) == CBN_SELENDCANCEL) CloseEditorList();
            return 0;
        }
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

bool Grid::IsMultiLineEditor() const {
    return BaseKind(editorKind_) == JX_GRID_CELL_TEXT && (editorKind_ & JX_GRID_CELL_MULTILINE);
}

bool Grid::ClosesOnFocusTo(HWND focus) const {
    if (!editor_ || notifying_ || editorOpening_) return false;
    if (focus && IsChild(window_, focus)) return false;
    // The date editor's month calendar is a popup of its own.
    if (focus && BaseKind(editorKind_) == JX_GRID_CELL_DATE) {
        HWND calendar = reinterpret_cast<HWND>(SendMessageW(editor_, DTM_GETMONTHCAL, 0, 0));
        if (calendar && (focus == calendar || IsChild(calendar, focus))) return false;
    }
    return true;
}

bool Grid::OnEditorKey(HWND window, WPARAM key) {
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool onButton = window == cellButton_;
    if (editorList_) {
        switch (key) {
        case VK_UP:
        case VK_DOWN:
            SendMessageW(editorList_, WM_KEYDOWN, key, 0);
            return true;
        case VK_RETURN:
            CommitEditorList();
            return true;
        case VK_ESCAPE:
            CloseEditorList();
            return true;
        }
    }
    switch (key) {
    case VK_TAB:
        MoveEditor(shift ? EditorMove::kPrevious : EditorMove::kNext);
        return true;
    case VK_RIGHT:
    case VK_LEFT: {
        if (!onButton && IsTextKind(editorKind_)) {
            DWORD start = 0, end = 0;
            SendMessageW(window, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            const DWORD length = DWORD(GetWindowTextLengthW(window));
            const bool atEdge = key == VK_RIGHT ? (start == end && end == length) : (start == 0 && end == 0);
            if (!atEdge) return false;
        }
        if (key == VK_RIGHT && !onButton && cellButton_) {
            SetFocus(cellButton_);
            return true;
        }
        if (key == VK_LEFT && onButton) {
            SetFocus(editor_);
            return true;
        }
        MoveEditor(key == VK_RIGHT ? EditorMove::kNext : EditorMove::kPrevious);
        return true;
    }
    case VK_UP:
    case VK_DOWN:
        MoveEditor(key == VK_UP ? EditorMove::kUp : EditorMove::kDown);
        return true;
    case VK_RETURN: {
        if (IsMultiLineEditor() && !onButton) return false;
        // As the Insert key: a new row below the edited one.
        const int row = editorRow_;
        CloseEditor();
        if (!destroyed_) NewRow(true, row);
        return true;
    }
    case VK_ESCAPE:
        // The grid takes the focus; losing it closes the editor, storing its text.
        SetFocus(window_);
        return true;
    case VK_DELETE:
        if (BaseKind(editorKind_) != JX_GRID_CELL_DATE) return false;
        storeEmpty_ = true;
        CloseEditor();
        return true;
    }
    return false;
}

// ---- Check box, cell button and the dropdown list

void Grid::OnEditorCommand(int id, int code) {
    switch (id) {
    case kTextEditorId:
        if (code == EN_CHANGE) NotifyChange(JX_GRID_REASON_EDITOR_TEXT);
        break;
    case kDropdownEditorId:
        if (code == EN_CHANGE) NotifyChange(JX_GRID_REASON_EDITOR_TEXT);
        if (code == JX_EDIT_NOTIFY_DROPDOWN) OpenEditorList();
        break;
    case kCheckBoxEditorId:
        if (code == BN_CLICKED && editor_) {
            const bool checked = SendMessageW(editor_, BM_GETCHECK, 0, 0) == BST_CHECKED;
            SetControlText(editor_, checked ? kCheckedText : "");
            NotifyChange(JX_GRID_REASON_EDITOR_TEXT);
        }
        break;
    case kCellButtonId:
        if (code == BN_CLICKED && editor_) {
            GridNotify record = EditorNotice();
            NotifyAboutEditor(record, UINT(JX_GRID_BUTTON_CLICKED));
        }
        break;
    }
}

void Grid::OpenEditorList() {
    if (!editor_ || editorList_) return;
    RECT editorRect;
    GetClientRect(editor_, &editorRect);
    const DWORD style = kListStyle | ((style_ & JX_GRID_ROW_NUMBERS) ? DWORD(CBS_SORT) : 0);
    editorList_ = CreateWindowExW(0, L"ComboBox", nullptr, WS_CHILD | style, 0, kListTop, editorRect.right,
                                  kListHeight, editor_, reinterpret_cast<HMENU>(INT_PTR(kEditorListId)),
                                  g_module.moduleInstance, nullptr);
    if (!editorList_) return;
    SendMessageW(editorList_, WM_SETFONT, SendMessageW(window_, WM_GETFONT, 0, 0), FALSE);
    GridNotify record = EditorNotice();
    NotifyAboutEditor(record, UINT(JX_GRID_LIST_OPENING));
    if (!editorList_ || !editor_) return;
    str text;
    WindowTextOf(editor_, text);
    int exact = CB_ERR;
    if (SendMessageW(editorList_, CB_GETCURSEL, 0, 0) == CB_ERR && !text.IsEmpty()) {
        // The item with exactly the editor's text, case and all.
        const int count = int(SendMessageW(editorList_, CB_GETCOUNT, 0, 0));
        str item;
        for (int index = 0; index < count && exact == CB_ERR; ++index)
            if (ListItemText(editorList_, index, item) && strcmp(item.Text(), text.Text()) == 0) exact = index;
        if (exact != CB_ERR) SendMessageW(editorList_, CB_SETCURSEL, WPARAM(exact), 0);
    }
    SendMessageW(editorList_, CB_SHOWDROPDOWN, TRUE, 0);
    // Dropping down selects the first item that matches the text in any case.
    if (exact != CB_ERR) SendMessageW(editorList_, CB_SETCURSEL, WPARAM(exact), 0);
}

void Grid::CommitEditorList() {
    HWND list = editorList_;
    if (!list) return;
    const int index = int(SendMessageW(list, CB_GETCURSEL, 0, 0));
    str itemText;
    if (index >= 0) ListItemText(list, index, itemText);
    editorList_ = nullptr;
    SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    GridNotify record = EditorNotice();
    record.list = list;
    record.index = index;
    // The owner may keep the editor's text by answering nonzero.
    if (NotifyAboutEditor(record, UINT(JX_GRID_LIST_CHOSEN)) == 0 && index >= 0 && editor_)
        SetControlText(editor_, itemText.Text());
    DiscardList(list);
}

void Grid::CloseEditorList() {
    HWND list = editorList_;
    editorList_ = nullptr;
    if (!list) return;
    SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    DiscardList(list);
}

void Grid::DiscardList(HWND list) {
    // A list closed before is out of its notifications by now.
    DestroyClosedList();
    if (!IsWindow(list)) return;
    closedList_ = list;
    PostMessageW(window_, kDestroyListMessage, 0, 0);
}

void Grid::DestroyClosedList() {
    HWND list = closedList_;
    closedList_ = nullptr;
    // Gone already when its editor went.
    if (list && IsWindow(list) && IsChild(window_, list)) DestroyWindow(list);
}

}  // namespace grid
