// Row commands: the row menu, the command keys, new, delete and moved rows,
// the clipboard, row drags, drag selection and check boxes by mouse.
#include <windowsx.h>
#include <string.h>
#include <algorithm>
#include "grid.h"
#include "window/capture_loop.h"
#include "window/clipboard.h"
#include "window/list_view_helpers.h"
#include "window/menu.h"
#include "window/window_utils.h"

namespace grid {
namespace {

constexpr char kMenuRowCommands[] =
    "6 Cut Row\tCtrl+X\n7 Copy Row\tCtrl+C\n8 Paste-Insert Row\tCtrl+V\n9 Paste-Replace Row\tCtrl+Shift+V\n-\n"
    "10 Add New Row\t+\n11 Insert New Row\tInsert\n12 Delete Row\tDelete\n13 Up\tCtrl+Up\n14 Down\tCtrl+Down\n";
constexpr char kMenuCopyText[] = "7 Copy Row Text\tCtrl+C\n";
constexpr char kMenuRowTexts[] = "6 Cut Row Text\tCtrl+X\n7 Copy Row Text\tCtrl+C\n9 Paste Row Text\tCtrl+V\n-\n";
constexpr char kMenuSelection[] = "-\n15 Select All\tCtrl+A\n16 Select None\tMiddle-click\n";
constexpr char kMenuEditSelected[] = "17 Edit Selected\tSpacebar\n";

struct KeyCommand {
    WPARAM key;
    unsigned modifiers;  // ModifierKey bits, matched exactly
    int command;
};
constexpr KeyCommand kKeyCommands[] = {
    {'X', kModifierCtrl, JX_GRID_CMD_CUT},
    {'C', kModifierCtrl, JX_GRID_CMD_COPY},
    {'V', kModifierCtrl, JX_GRID_CMD_PASTE_INSERT},
    {'V', kModifierCtrl | kModifierShift, JX_GRID_CMD_PASTE_REPLACE},
    {VK_ADD, 0, JX_GRID_CMD_ADD_ROW},
    {VK_OEM_PLUS, 0, JX_GRID_CMD_ADD_ROW},
    {VK_INSERT, 0, JX_GRID_CMD_INSERT_ROW},
    {VK_DELETE, 0, JX_GRID_CMD_DELETE_ROWS},
    {VK_UP, kModifierCtrl, JX_GRID_CMD_MOVE_UP},
    {VK_DOWN, kModifierCtrl, JX_GRID_CMD_MOVE_DOWN},
    {'A', kModifierCtrl, JX_GRID_CMD_SELECT_ALL},
    {VK_SPACE, 0, JX_GRID_CMD_EDIT_SELECTED},
};

// A press becomes a drag once the pointer leaves this square around it.
constexpr int kDragDistance = 2;

// The LVKF_* flags of NM_CLICK for ModifierKey bits.
UINT ClickKeyFlags(unsigned modifiers) {
    return ((modifiers & kModifierAlt) ? LVKF_ALT : 0) | ((modifiers & kModifierCtrl) ? LVKF_CONTROL : 0) |
           ((modifiers & kModifierShift) ? LVKF_SHIFT : 0);
}

struct MenuDestroy {
    void operator()(HMENU menu) const noexcept { DestroyMenu(menu); }
};
using MenuOwner = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroy>;

}  // namespace

// ---- Keys and the menu

bool Grid::OnCommandKey(WPARAM key) {
    const unsigned modifiers = GetModifierKeys();
    for (const KeyCommand& command : kKeyCommands)
        if (command.key == key && command.modifiers == modifiers) return RunCommand(command.command);
    if ((key == VK_UP || key == VK_DOWN) && modifiers == 0) {
        // The arrows move from the selection when no row has the focus.
        const int focused = int(CallBase(LVM_GETNEXTITEM, WPARAM(-1), MAKELPARAM(LVNI_FOCUSED | LVNI_SELECTED, 0)));
        const int selected = int(CallBase(LVM_GETNEXTITEM, WPARAM(-1), MAKELPARAM(LVNI_SELECTED, 0)));
        if (focused < 0 && selected >= 0) ListViewSelectOnly(window_, selected, false);
    }
    return false;
}

LRESULT Grid::OnContextMenu(WPARAM window, LPARAM point) {
    if (reinterpret_cast<HWND>(window) != window_ || columns_.empty()) return CallBase(WM_CONTEXTMENU, window, point);
    str text;
    if (!(style_ & JX_GRID_FIXED_ROWS))
        text.Append(kMenuRowCommands);
    else if (style_ & JX_GRID_READ_ONLY)
        text.Append(kMenuCopyText);
    else
        text.Append(kMenuRowTexts);
    text.Append(kMenuSelection);
    if (!(style_ & JX_GRID_READ_ONLY)) text.Append(kMenuEditSelected);
    MenuOwner menu(CreatePopupMenu());
    if (!menu) return 0;
    BuildMenuFromText(menu.get(), text.Text());
    const int command = TrackPopup(menu.get(), window_, 0, nullptr);
    if (command > 0 && IsWindow(window_)) PostMessageW(window_, WM_COMMAND, WPARAM(command), 0);
    return 0;
}

bool Grid::RunCommand(int command) {
    if (command < JX_GRID_CMD_CUT || command > JX_GRID_CMD_EDIT_SELECTED) return false;
    // Inserting goes below the edited row; its index is the one before the
    // owner hears of the stored text.
    const int edited = editor_ ? editorRow_ : -1;
    const unsigned changes = rowChanges_;
    CloseEditor();
    if (destroyed_) return true;  // by the owner, told of the stored text
    switch (command) {
    case JX_GRID_CMD_CUT:
        CutRows();
        return true;
    case JX_GRID_CMD_COPY:
        CopyRows(SelectedRows(false));
        return true;
    case JX_GRID_CMD_PASTE_INSERT:
    case JX_GRID_CMD_PASTE_REPLACE:
        PasteRows(command == JX_GRID_CMD_PASTE_REPLACE || (style_ & JX_GRID_FIXED_ROWS));
        return true;
    case JX_GRID_CMD_ADD_ROW:
    case JX_GRID_CMD_INSERT_ROW:
        NewRow(command == JX_GRID_CMD_INSERT_ROW, rowChanges_ == changes ? edited : -1);
        return true;
    case JX_GRID_CMD_DELETE_ROWS:
        DeleteRows();
        return true;
    case JX_GRID_CMD_MOVE_UP:
    case JX_GRID_CMD_MOVE_DOWN:
        MoveRows(command == JX_GRID_CMD_MOVE_UP);
        return true;
    case JX_GRID_CMD_SELECT_ALL:
        ListViewSetItemState(window_, -1, LVIS_SELECTED, LVIS_SELECTED);
        if (Rows() > 0) ListViewSetItemState(window_, 0, LVIS_FOCUSED, LVIS_FOCUSED);
        return true;
    case JX_GRID_CMD_SELECT_NONE:
        ClearRowStates(LVIS_SELECTED | LVIS_FOCUSED);
        return true;
    case JX_GRID_CMD_EDIT_SELECTED: {
        if (!CanEdit() || Rows() == 0) return false;
        const int selected = int(CallBase(LVM_GETNEXTITEM, WPARAM(-1), MAKELPARAM(LVNI_SELECTED, 0)));
        return EditFirstEditable(selected >= 0 ? selected : 0) != nullptr;
    }
    }
    return false;
}

// ---- Row sets

ItemIndexList Grid::SelectedRows(bool withChildren) {
    ItemIndexList rows;
    ListViewGetSelection(window_, rows);
    if (withChildren && (style_ & JX_GRID_TREE) && !rows.empty()) {
        const int last = rows.back();
        const int indent = Header(last).indent;
        // Each selection is told to the owner, who may change the rows: then
        // the indexes gathered name other rows, and none is returned.
        const unsigned changes = rowChanges_;
        for (int row = last + 1; row < Rows() && Header(row).indent > indent; ++row) {
            rows.push_back(row);
            ListViewSetItemState(window_, row, LVIS_SELECTED, LVIS_SELECTED);
            if (rowChanges_ != changes) {
                rows.clear();
                break;
            }
        }
    }
    return rows;
}

void Grid::SelectRows(const ItemIndexList& rows) {
    ClearRowStates(LVIS_SELECTED | LVIS_FOCUSED);
    for (const int row : rows) ListViewSetItemState(window_, row, LVIS_SELECTED, LVIS_SELECTED);
    if (!rows.empty()) {
        ListViewSetItemState(window_, rows.front(), LVIS_FOCUSED, LVIS_FOCUSED);
        CallBase(LVM_ENSUREVISIBLE, WPARAM(rows.front()), FALSE);
    }
}

// ---- New, delete, move

void Grid::NewRow(bool insert, int below) {
    if (style_ & JX_GRID_FIXED_ROWS) {
        if (insert && below >= 0 && IsRow(below + 1)) EditFirstEditable(below + 1);
        return;
    }
    int position = Rows();
    if (insert) {
        const int selected = int(CallBase(LVM_GETNEXTITEM, WPARAM(-1), MAKELPARAM(LVNI_SELECTED, 0)));
        position = below >= 0 ? below + 1 : selected >= 0 ? selected : Rows();
    }
    const int row = AddRow(position);
    if (row >= 0) EditFirstEditable(row);
}

void Grid::RemoveRows(const ItemIndexList& rows) {
    RowsChanged();
    if (int(rows.size()) == Rows()) {
        ClearRows();
    } else {
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) table_.RemoveRow(*row);
    }
    UpdateItemCount(false);
}

void Grid::DeleteRows() {
    if (style_ & JX_GRID_FIXED_ROWS) return;
    const ItemIndexList rows = SelectedRows(true);
    if (rows.empty()) return;
    RemoveRows(rows);
    if (IsRow(rows.front())) ListViewSelectOnly(window_, rows.front(), true);
    NotifyChange(JX_GRID_REASON_ROWS_DELETED);
}

void Grid::MoveRows(bool up) {
    if (style_ & JX_GRID_FIXED_ROWS) return;
    const ItemIndexList rows = SelectedRows(true);
    if (rows.empty()) return;
    const int target = up ? rows.front() - 1 : rows.back() + 1;
    if (!IsRow(target)) return;
    MoveRowsBefore(rows, up ? target : target + 1, target);
}

void Grid::MoveRowsBefore(const ItemIndexList& rows, int before, int targetRow) {
    if (!IsRow(targetRow) || before > Rows() ||
        std::any_of(rows.begin(), rows.end(), [&](int row) { return !IsRow(row); }))
        return;
    // The new order: the other rows, with the block in front of `before`.
    std::vector<bool, HostAllocator<bool>> moved(size_t(Rows()), false);
    for (const int row : rows) moved[size_t(row)] = true;
    ItemIndexList order;
    order.reserve(size_t(Rows()));
    int firstMoved = -1;
    for (int row = 0; row <= Rows(); ++row) {
        if (row == before) {
            firstMoved = int(order.size());
            order.insert(order.end(), rows.begin(), rows.end());
        }
        if (row < Rows() && !moved[size_t(row)]) order.push_back(row);
    }
    // A block dropped where it stands moves nothing.
    bool same = true;
    for (size_t i = 0; i < order.size() && same; ++i) same = order[i] == int(i);
    if (same) return;
    if (style_ & JX_GRID_TREE) ShiftIndents(rows, order, firstMoved, targetRow);
    table_.ReorderRows(order.data());
    RowsChanged();
    ItemIndexList placed;
    for (size_t i = 0; i < rows.size(); ++i) placed.push_back(firstMoved + int(i));
    SelectRows(placed);
    InvalidateRect(window_, nullptr, TRUE);
    NotifyChange(JX_GRID_REASON_ROWS_MOVED);
}

void Grid::ShiftIndents(const ItemIndexList& rows, const ItemIndexList& order, int firstMoved, int targetRow) {
    const int first = Header(rows.front()).indent;
    int shift = Header(targetRow).indent - first;
    // A row above the new place that is indented at least as deep keeps the block where it was.
    if (shift < 0 && firstMoved > 0 && Header(order[size_t(firstMoved) - 1]).indent >= first) shift = 0;
    if (shift == 0) return;
    for (const int row : rows) Header(row).indent = int16_t(std::max(0, Header(row).indent + shift));
}

// ---- The clipboard

bool Grid::CopyRows(const ItemIndexList& rows) {
    if (rows.empty()) return false;
    // With row properties, column 0 carries a fresh prefix instead of a stored one.
    unsigned flags = 0;
    if (style_ & JX_GRID_ROW_PROPERTIES)
        flags = (getFlags_ & JX_GRID_PREFIX_ALL) | ((style_ & JX_GRID_TREE) ? JX_GRID_PREFIX_INDENT : 0) |
                JX_GRID_GET_STRIP_PREFIX;
    CsvTable copied;
    str buffer;
    for (const int row : rows) {
        const char* fields;
        size_t size;
        if (ReadOut(row, flags, buffer, &fields, &size)) copied.InsertRowPacked(copied.RowCount(), Columns(), fields, 0, nullptr);
    }
    str text;
    copied.ToText(text);
    return CopyTextToClipboard(text.Text(), window_);
}

bool Grid::EmptyEditableCells(int row) {
    bool changed = false;
    for (int column = FirstEditableColumn(); column < Columns(); ++column) {
        if ((CellKind(row, column) & JX_GRID_CELL_KIND_MASK) == JX_GRID_CELL_READONLY || !*Cell(row, column)) continue;
        SetStoredText(row, column, "");
        changed = true;
    }
    return changed;
}

void Grid::CutRows() {
    const ItemIndexList rows = SelectedRows(true);
    // Rows that did not reach the clipboard are not removed.
    if (!CopyRows(rows) || ((style_ & JX_GRID_FIXED_ROWS) && (style_ & JX_GRID_READ_ONLY))) return;
    bool changed = false;
    if (style_ & JX_GRID_FIXED_ROWS) {
        for (const int row : rows) changed |= EmptyEditableCells(row);
        InvalidateRect(window_, nullptr, TRUE);
    } else {
        RemoveRows(rows);
        changed = true;
    }
    if (changed) NotifyChange(JX_GRID_REASON_ROWS_CUT);
}

void Grid::PasteRows(bool replace) {
    const bool fixed = style_ & JX_GRID_FIXED_ROWS;
    if (fixed && (style_ & JX_GRID_READ_ONLY)) return;
    ItemIndexList selected = SelectedRows(false);
    if (fixed && selected.empty()) return;
    str text;
    if (!PasteTextFromClipboard(text, window_) || text.IsEmpty() || !EnsureColumns()) return;
    CsvTable pasted;
    if (pasted.FromText(text.Text()) != S_OK) return;
    const int count = std::min(Columns(), pasted.ColumnCount());
    bool changed = false;
    if (fixed) {
        for (size_t i = 0; i < selected.size() && int(i) < pasted.RowCount(); ++i) {
            const int row = selected[i];
            for (int column = FirstEditableColumn(); column < count; ++column) {
                if ((CellKind(row, column) & JX_GRID_CELL_KIND_MASK) == JX_GRID_CELL_READONLY) continue;
                const char* field = FieldAt(pasted.Fields(int(i)), column);
                if (strcmp(field, Cell(row, column)) == 0) continue;
                SetStoredText(row, column, field);
                changed = true;
            }
        }
        InvalidateRect(window_, nullptr, TRUE);
    } else {
        int position = selected.empty() ? Rows() : selected.front();
        if (replace && !selected.empty()) RemoveRows(selected);
        position = std::min(position, Rows());
        for (int i = 0; i < pasted.RowCount(); ++i) {
            int row;
            if (FAILED(table_.InsertRowPacked(position + i, count, pasted.Fields(i), 0, &row))) break;
            InitNewRow(row);
        }
        RowsChanged();
        UpdateItemCount(false);
        changed = true;
    }
    if (changed) NotifyChange(replace ? JX_GRID_REASON_ROWS_REPLACED : JX_GRID_REASON_ROWS_PASTED);
}

// ---- The mouse

bool Grid::OnCheckBoxPress(POINT at) {
    if (!(style_ & JX_GRID_CHECK_BOXES)) return false;
    LVHITTESTINFO hit = {};
    hit.pt = at;
    CallBase(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    const unsigned modifiers = GetModifierKeys();
    // With full-row selection the other columns report all the LVHT_ONITEM bits.
    const bool onBox = (hit.flags & LVHT_ONITEM) == LVHT_ONITEMSTATEICON;
    if (!IsRow(hit.iItem) || !(onBox || (checkboxClick_ && modifiers == 0))) return false;
    const int state = Header(hit.iItem).StateImage();
    if (state != kUnchecked && state != kChecked) return false;
    NMITEMACTIVATE click = {};
    click.iItem = hit.iItem;
    click.iSubItem = ListViewColumnFromX(window_, Columns(), at.x);
    click.ptAction = at;
    click.uKeyFlags = ClickKeyFlags(modifiers);
    SendNotify(click.hdr, UINT(NM_CLICK));
    if (!IsRow(hit.iItem)) return true;
    const int wanted = state == kChecked ? kUnchecked : kChecked;
    int first = hit.iItem, end = hit.iItem + 1;
    if (modifiers == kModifierCtrl) {
        first = 0;
        end = Rows();
    } else if (modifiers == kModifierShift) {
        const int indent = Header(hit.iItem).indent;
        while (end < Rows() && Header(end).indent > indent) ++end;
    }
    for (int row = first; row < end && row < Rows(); ++row) {
        const int old = Header(row).StateImage();
        if (old == wanted) continue;
        Header(row).SetStateImage(wanted);
        RedrawRow(row);
        NMLISTVIEW changed = {};
        changed.iItem = row;
        changed.uChanged = LVIF_STATE;
        changed.uNewState = INDEXTOSTATEIMAGEMASK(wanted);
        changed.uOldState = INDEXTOSTATEIMAGEMASK(old);
        SendNotify(changed.hdr, UINT(LVN_ITEMCHANGED));
    }
    return true;
}

// Returns true when the press became a drag and is over.
bool Grid::TrackPress(POINT at, int row) {
    CaptureLoop loop(window_, kStopOnLeftUp);
    bool dragging = false;
    const int column = ListViewColumnFromX(window_, Columns(), at.x);
    ItemIndexList dragged;
    int drop = -1;
    // The loop dispatches timers and posted messages: the owner may change
    // the rows meanwhile, and the rows gathered are then none to move.
    const unsigned changes = rowChanges_;
    while (loop.Next()) {
        const POINT now = loop.point;
        if (!dragging) {
            if (abs(now.x - at.x) <= kDragDistance && abs(now.y - at.y) <= kDragDistance) continue;
            dragging = true;
            if (column == 0 && rowChanges_ == changes) {
                if (!(CallBase(LVM_GETITEMSTATE, WPARAM(row), LVIS_SELECTED) & LVIS_SELECTED))
                    ListViewSelectOnly(window_, row, false);
                dragged = SelectedRows(true);
                NMLISTVIEW begin = {};
                begin.iItem = row;
                begin.ptAction = at;
                SendNotify(begin.hdr, UINT(LVN_BEGINDRAG));
                if (!IsWindow(window_)) return true;
            }
        }
        const int under = RowAt(now);
        if (column == 0) {
            drop = under;
            ListViewSetInsertMark(window_, drop < Rows() ? drop : Rows() - 1, drop >= Rows());
        } else if (rowChanges_ == changes) {
            ClearRowStates(LVIS_SELECTED | LVIS_FOCUSED);
            const int last = std::min(under, Rows() - 1);
            for (int each = std::min(row, last); each <= std::max(row, last); ++each)
                ListViewSetItemState(window_, each, LVIS_SELECTED, LVIS_SELECTED);
            ListViewSetItemState(window_, row, LVIS_FOCUSED, LVIS_FOCUSED);
        }
    }
    if (destroyed_) return true;
    if (!dragging) {
        // A release where it was pressed is a click.
        PostMessageW(window_, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        return false;
    }
    if (column == 0) {
        ListViewSetInsertMark(window_, -1, false);
        const bool dropped =
            loop.endedByButton == kStopOnLeftUp && drop >= 0 && !dragged.empty() && rowChanges_ == changes;
        if (dropped && drop != row && drop != row + 1 &&
            !std::binary_search(dragged.begin(), dragged.end(), drop)) {
            MoveRowsBefore(dragged, drop, drop < Rows() ? drop : Rows() - 1);
        }
    }
    return true;
}

int Grid::HitRow(POINT at) const {
    LVHITTESTINFO hit = {};
    hit.pt = at;
    return int(CallBase(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

int Grid::RowAt(POINT at) const {
    const int row = HitRow(at);
    if (row >= 0) return row;
    const int top = int(CallBase(LVM_GETTOPINDEX, 0, 0));
    RECT shown = {}, last = {};
    if (!IsRow(top) || !ListViewGetItemRect(window_, top, &shown, LVIR_BOUNDS)) return Rows();
    // Over the header or above the window: the first row shown.
    if (at.y < shown.top) return top;
    if (ListViewGetItemRect(window_, Rows() - 1, &last, LVIR_BOUNDS) && at.y >= last.bottom) return Rows();
    // Beside the columns: the row at that height.
    const int beside = HitRow({std::max(shown.left, LONG(0)), at.y});
    return beside >= 0 ? beside : Rows();
}

}  // namespace grid
