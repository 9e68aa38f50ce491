// The grid control: a superclass of the list view in owner-data report mode
// whose rows are the rows of a CsvTable. One Grid object per window, made at
// its first message and destroyed at WM_NCDESTROY.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <stdint.h>
#include <memory>
#include <vector>
#include "csv/csv_table.h"
#include "jx/grid.h"
#include "runtime/host_alloc.h"
#include "text/str.h"
#include "window/list_view_helpers.h"
#include "window/tooltip.h"
#include "window/window_class.h"

namespace grid {

// What a column holds by default.
struct ColumnDescription {
    BYTE kind;   // cell kind of new cells
    BYTE flags;  // JX_GRID_COLUMN_*
};
using ColumnList = std::vector<ColumnDescription, HostAllocator<ColumnDescription>>;

// The header area in front of every row's fields.
struct __attribute__((packed)) RowHeader {
    int32_t image;     // negative: no image
    intptr_t itemData;  // the item's lParam, pointer-sized so that a host's addresses survive
    BYTE images;       // overlay index in the low 4 bits, state image index in the high 4
    int16_t indent;
    BYTE kinds[1];     // one cell kind per column

    int Overlay() const { return images & 0xF; }
    int StateImage() const { return images >> 4; }
    void SetOverlay(int index) { images = BYTE((images & 0xF0) | (index & 0xF)); }
    void SetStateImage(int index) { images = BYTE((images & 0x0F) | ((index & 0xF) << 4)); }
};
constexpr int kRowHeaderFixedSize = int(offsetof(RowHeader, kinds));
#ifndef _WIN64
static_assert(kRowHeaderFixedSize == 11, "cell kinds follow 11 bytes of row properties on x86");
#endif

// State images of check-box rows
constexpr int kUnchecked = 1;
constexpr int kChecked = 2;

// Control ids of the in-place editors, the cell button and a dropdown cell's list
constexpr int kTextEditorId = 100;
constexpr int kDropdownEditorId = 101;
constexpr int kCheckBoxEditorId = 102;
constexpr int kDateEditorId = 103;
constexpr int kCellButtonId = 200;
constexpr int kEditorListId = 201;

// Posted to itself when the item count is to follow the rows once the
// current call is over.
constexpr UINT kRefreshMessage = 0x7FF;
// Posted to itself when a dropdown cell's list is closed, which may happen in
// the list's own notification: the list goes once that has returned.
constexpr UINT kDestroyListMessage = 0x7FE;

// Whether a cell of `kind` can be edited in place (a check-box cell is
// toggled by a click instead).
bool CellHasEditor(unsigned kind);

struct ImageListDestroy {
    void operator()(HIMAGELIST list) const noexcept { ImageList_Destroy(list); }
};
using ImageListOwner = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDestroy>;

class Grid : public HostObject {
public:
    explicit Grid(HWND window) : window_(window) {}
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;

    // The window procedure of the class.
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The grid of a JX_Grid window of this thread, else null.
    static Grid* Of(HWND window);

    // From the parent hook: a notification the list view sends its parent.
    void OnParentNotify(NMHDR* header);

private:
    // An owner may destroy the grid while it handles one of the grid's
    // notifications: the state then lives until the outermost message of the
    // grid or of its editor ends.
    struct MessageScope {
        Grid* grid;
        explicit MessageScope(Grid* handled) : grid(handled) { ++grid->depth_; }
        ~MessageScope() {
            if (--grid->depth_ == 0 && grid->destroyed_) delete grid;
        }
        MessageScope(const MessageScope&) = delete;
        MessageScope& operator=(const MessageScope&) = delete;
    };

    // ---- The window (grid_window.cpp)
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT CallBase(UINT message, WPARAM wParam, LPARAM lParam) const;
    void OnCreate();
    LRESULT OnKeyDown(WPARAM key, LPARAM keyData);
    LRESULT OnLButtonDown(WPARAM keys, LPARAM point);
    LRESULT OnContextMenu(WPARAM window, LPARAM point);
    void OnCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnNotify(WPARAM wParam, NMHDR* header);
    LRESULT OnInsertColumn(UINT message, WPARAM index, LPARAM column);
    LRESULT OnDeleteColumn(WPARAM index);
    LRESULT OnDeleteAllItems();
    LRESULT OnDeleteItem(int row);
    LRESULT OnInsertItem(const LVITEMW* item, bool wide);
    LRESULT OnSetItem(UINT message, LVITEMW* item, bool wide);
    LRESULT OnGetItem(UINT message, LVITEMW* item);
    LRESULT OnSetItemState(int row, const LVITEMW* item);
    LRESULT OnGetItemState(int row, UINT mask);
    LRESULT OnGetItemText(int row, LVITEMW* item, bool wide);
    LRESULT OnSetItemText(int row, const LVITEMW* item, bool wide);
    LRESULT OnSortItems(bool byIndex, LPARAM sortParam, PFNLVCOMPARE compare);
    LRESULT OnSetExtendedStyle(WPARAM mask, LPARAM style);
    LRESULT OnEditLabel(int row, int column);
    void OnDisplayData(NMLVDISPINFOW* info);
    void OnDestroy();

    // ---- Rows, columns and their properties (grid_model.cpp)
    // Makes the column descriptions from the list view's columns when there
    // are none; false when the grid has no columns.
    bool EnsureColumns();
    int Columns() const { return int(columns_.size()); }
    int Rows() const { return table_.RowCount(); }
    bool IsRow(int row) const { return unsigned(row) < unsigned(Rows()); }
    bool IsColumn(int column) const { return unsigned(column) < unsigned(Columns()); }
    RowHeader& Header(int row) const { return *reinterpret_cast<RowHeader*>(table_.Row(row)); }
    const char* Cell(int row, int column) const { return FieldAt(table_.Fields(row), column); }
    // Empties the table, keeping its shape.
    void ClearRows();
    // Counts every change of which rows there are and of their order: a row
    // index taken before another count is stale.
    void RowsChanged() { ++rowChanges_; }
    // A zeroed table of the grid's shape for rows on their way in.
    void PrepareIncoming(CsvTable& incoming) const;
    // Cell kinds, the row-property prefix and the check box of rows just made.
    void InitNewRows(int first, int end);
    void InitNewRow(int row);
    // Applies column 0's "<...>" prefix to the row and, without a label
    // column, removes it from the text.
    void ApplyRowPrefix(int row);
    void SetCellKind(int row, int column, int kind);
    void SetRowProperties(int row, const LVITEMW& item);
    void SetStoredText(int row, int column, const char* text);
    // Column 0's text as displayed and compared: without a stored prefix when
    // prefixes stay in the text.
    const char* WithoutStoredPrefix(const char* text) const;
    bool KeepsPrefixInText() const {
        return (style_ & (JX_GRID_LABEL_COLUMN | JX_GRID_ROW_PROPERTIES)) ==
               (JX_GRID_LABEL_COLUMN | JX_GRID_ROW_PROPERTIES);
    }
    // "<...>" with the properties that `flags` chooses, for a row read out
    // from `firstColumn`.
    void AppendRowPrefix(str& out, int row, unsigned flags, int firstColumn) const;
    // Selected, or checked in check-box mode.
    bool IsRowChosen(int row) const;
    void SetStyle(unsigned bits, unsigned mask);
    bool ApplyColumnDefinition(const char* csv, unsigned flags);
    void ApplySettingsRow(CsvTable& definition, bool& minusScrollBar);

    // ---- The list view's item count
    // Clears LVIS_* `states` of every row.
    void ClearRowStates(UINT states);
    // Brings the item count to the row count; a single added row keeps the
    // view where it is.
    void UpdateItemCount(bool oneRowAdded);
    void PostRefresh();
    void RefreshIfPosted(UINT message);
    void RedrawRow(int row);

    // ---- In-place editing (grid_editor.cpp)
    enum class EditorMove { kNext, kPrevious, kUp, kDown };
    int FirstEditableColumn() const;
    bool CanEdit() const;
    unsigned CellKind(int row, int column) const;
    // Opens the editor of the cell's kind (a click toggles a check-box cell
    // instead); returns the editor, null when none opened.
    HWND OpenEditor(int row, int column, bool byClick);
    HWND EditFirstEditable(int row);
    // Stores the editor's text, closes it and tells the owner.
    void CloseEditor();
    void DestroyEditorWindows();
    // A row inserted at `position` as the user adds one (reason 1); -1 when none.
    int AddRow(int position);
    void MoveEditor(EditorMove move);
    static LRESULT CALLBACK EditorSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                           DWORD_PTR self);
    LRESULT OnEditorMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // True when the key was a move or a close.
    bool OnEditorKey(HWND window, WPARAM key);
    bool IsMultiLineEditor() const;
    bool ClosesOnFocusTo(HWND focus) const;
    void OnEditorCommand(int id, int code);

    void OpenEditorList();
    void CommitEditorList();
    void CloseEditorList();
    // The list goes after the current message; DestroyClosedList destroys it.
    void DiscardList(HWND list);
    void DestroyClosedList();

    // ---- Row commands (grid_commands.cpp)
    // True when the key was a command.
    bool OnCommandKey(WPARAM key);
    // Runs a JX_GRID_CMD_*; false when the id is none.
    bool RunCommand(int command);
    // The selected rows in order; in tree mode with the rows below the last
    // one that belong to it, which become selected too.
    ItemIndexList SelectedRows(bool withChildren);
    void SelectRows(const ItemIndexList& rows);
    // A new row at the end, or inserted below `below` (else at the selection).
    void NewRow(bool insert, int below);
    void RemoveRows(const ItemIndexList& rows);
    void DeleteRows();
    void MoveRows(bool up);
    // Moves `rows` as one block in front of row `before` (Rows() for the end);
    // in tree mode they take the indent of `targetRow`.
    void MoveRowsBefore(const ItemIndexList& rows, int before, int targetRow);
    void ShiftIndents(const ItemIndexList& rows, const ItemIndexList& order, int firstMoved, int targetRow);
    // False when nothing reached the clipboard.
    bool CopyRows(const ItemIndexList& rows);
    bool EmptyEditableCells(int row);
    void CutRows();
    void PasteRows(bool replace);
    // A press on a check box (or a row, with the checkbox-click option); true when it toggled.
    bool OnCheckBoxPress(POINT at);
    // Follows a press on `row` until release: true when it became a drag.
    bool TrackPress(POINT at, int row);
    // The row under a point, Rows() below the last one, the first row shown
    // above the rows.
    int RowAt(POINT at) const;
    int HitRow(POINT at) const;

    // ---- The grid's messages (grid_messages.cpp)
    LRESULT OnGridMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCellKind(int row, LPARAM columnAndKind);
    LRESULT OnSetColumnKind(int column, LPARAM kindAndFlags);
    LRESULT OnSetPacked(unsigned flags, const GridPackedFields* packed);
    LRESULT OnGetPacked(unsigned flags, JxString* out);
    LRESULT OnQuery(WPARAM query, LPARAM argument);
    LRESULT OnPutRow(int row, const GridRowData* data);
    LRESULT OnReadRow(int row, GridRowRead* read);
    LRESULT OnExchangeRows(GridRowExchange* exchange);
    LRESULT OnCsv(WPARAM direction, LPARAM argument);
    LRESULT OnSort(unsigned flags, int column);
    LRESULT OnSetCellButton(WPARAM icon, const char* tip);
    // Fields per incoming row under the set flags.
    int IncomingFieldsPerRow(unsigned flags) const;
    // Closes the editor before rows come in: its owner may give the grid
    // other rows and columns meanwhile. False when the grid is gone or has
    // no columns then.
    bool CloseEditorForIncoming();
    // Replaces the rows by those of `incoming` (data fields from column 0)
    // under the set flags; false when `incoming` no longer has the grid's shape.
    bool TakeRows(CsvTable& incoming, unsigned flags);
    // The fields a read hands out for one row, from the first column under
    // `flags`: into the table, or built in `buffer`. False when the row does
    // not qualify.
    bool ReadOut(int row, unsigned flags, str& buffer, const char** fields, size_t* size) const;
    int ReadFirstColumn(unsigned flags) const { return (flags & JX_GRID_GET_NO_COLUMN0) ? 1 : 0; }
    bool ReadModifiesFields(unsigned flags) const;

    // ---- Notifications
    HWND Parent() const { return GetParent(window_); }
    LRESULT SendNotify(NMHDR& header, UINT code);
    // A notification about the open editor, which then has the focus again.
    LRESULT NotifyAboutEditor(GridNotify& record, UINT code);
    // The change notification; none while another grid notification is on its way.
    void NotifyChange(int reason);
    void NotifyCellChange(int reason, int row, int column, unsigned kind);
    // The record of a grid notification about a cell, without code and reason.
    GridNotify CellNotice(int row, int column, unsigned kind) const;
    GridNotify EditorNotice() const { return CellNotice(editorRow_, editorColumn_, editorKind_); }

    // Destroyed in reverse: tooltip, image list, scratch texts, table, columns.
    ColumnList columns_;
    mutable CsvTable table_;
    mutable str scratch_;    // cell text conversions
    mutable str rowPrefix_;  // row-prefix building
    ImageListOwner imageList_;
    TooltipHolder cellButtonTip_;
    HWND window_;
    unsigned style_ = 0;
    HWND editor_ = nullptr;
    HWND cellButton_ = nullptr;
    HWND editorList_ = nullptr;  // a dropdown cell's open list
    HWND closedList_ = nullptr;  // a closed list, destroyed when kDestroyListMessage comes
    bool editorOpening_ = false;  // no change notifications while an editor is made
    bool storeEmpty_ = false;     // Delete in the date editor
    bool dateChanged_ = false;    // the user changed the date editor's value
    int editorRow_ = -1;
    int editorColumn_ = -1;
    unsigned editorKind_ = 0;
    unsigned setFlags_ = 0;
    unsigned getFlags_ = 0;
    bool modified_ = false;
    bool checkboxClick_ = false;
    bool refreshPosted_ = false;
    int notifying_ = 0;  // code of the grid notification on its way, 0 when none
    int depth_ = 0;      // messages of this grid being handled
    unsigned rowChanges_ = 0;  // see RowsChanged
    bool destroyed_ = false;  // the window is gone; the state goes when depth_ returns to 0
};

}  // namespace grid
