// The grid control of jxgrid.dll: window class "JX_Grid", a report-view list
// view whose rows live in the grid as fields of 8-bit text (the allocator
// table's code page). An owner creates it like a list view, sends the usual
// list-view messages and the grid's own messages below, and receives
// WM_NOTIFY with the notification codes below.
//
// Rows and columns count from 0. A grid's window text at creation, when not
// empty, is a column-definition CSV with a settings row (see
// JX_GRID_SETCOLUMNS); the text is cleared once applied.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <assert.h>

#ifdef __cplusplus
extern "C" {
#endif

#define JX_GRID_CLASS "JX_Grid"

// ---- Messages (wParam, lParam -> result)

// new style bits, mask -> nonzero. Style flags = new & mask, other bits kept.
#define JX_GRID_SETSTYLE 0x10F0
// row, MAKELPARAM(column, (short)kind) -> TRUE/FALSE. A negative kind is the
// column's default; column 0 in a grid with JX_GRID_ROW_PROPERTIES sets
// every cell of the row.
#define JX_GRID_SETCELLKIND 0x10F1
// column, kind | (column flags << 16) -> TRUE/FALSE (FALSE while rows exist)
#define JX_GRID_SETCOLUMNKIND 0x10F2
// JX_GRID_SET_* flags, const GridPackedFields* -> TRUE/FALSE (FALSE without
// columns). Replaces every row by the packed fields.
#define JX_GRID_SETPACKED 0x10F3
// JX_GRID_GET_* flags, JxString* -> fields per row times rows appended.
#define JX_GRID_GETPACKED 0x10F4
// MAKEWPARAM(JX_GRID_QUERY_*, column for JX_GRID_QUERY_CELLKIND), argument -> answer
#define JX_GRID_QUERY 0x10F5
// JX_GRID_COLUMNS_* flags, column-definition CSV -> TRUE/FALSE (FALSE while
// rows exist or for malformed CSV, which changes nothing).
#define JX_GRID_SETCOLUMNS 0x10F6
// row, GridRowData* -> row index or -1. Rows missing up to `row` are added
// empty first.
#define JX_GRID_PUTROW 0x10F7
// row, GridRowRead* -> bytes of the fields with their NULs, or a
// JX_GRID_READ_* code.
#define JX_GRID_READROW 0x10F8
// 0, GridRowExchange* -> nonzero on success. Streams every row through the
// record's callback.
#define JX_GRID_EXCHANGEROWS 0x10F9
// JX_GRID_CSV_SET: const char* CSV text; JX_GRID_CSV_GET: JxString* ->
// TRUE/FALSE. Setting uses the set flags, getting the get flags of the
// settings row; an empty or malformed text fails and changes nothing.
#define JX_GRID_CSV 0x10FA
#define JX_GRID_CSV_GET 0
#define JX_GRID_CSV_SET 1
// JX_GRID_SORT_* flags | string comparison flags, column -> TRUE/FALSE
#define JX_GRID_SORT 0x10FB
// icon (JX_GRID_ICON_*, or an HICON), tooltip text or NULL -> TRUE/FALSE
// (FALSE when no cell button is open).
#define JX_GRID_SETCELLBUTTON 0x10FC
#define JX_GRID_ICON_UNCHANGED 0
#define JX_GRID_ICON_LIBRARY 1

// JX_GRID_QUERY queries (low word of wParam)
#define JX_GRID_QUERY_STYLE 0        // -> style flags
#define JX_GRID_QUERY_ROWS 1         // int* columns (optional) -> row count
#define JX_GRID_QUERY_COLUMNKIND 2   // column -> its default cell kind
#define JX_GRID_QUERY_CELLKIND 3     // row, column in the high word of wParam -> cell kind
#define JX_GRID_QUERY_MODIFIED 4     // JX_GRID_MODIFIED_* -> the modified flag before the call
#define JX_GRID_MODIFIED_CLEAR 1
#define JX_GRID_MODIFIED_SET 2

// JX_GRID_SETCOLUMNS flags
#define JX_GRID_COLUMNS_MINUS_SCROLLBAR 0x1  // percentages of the client width less the scroll bar
#define JX_GRID_COLUMNS_SETTINGS_ROW 0x2     // the first CSV row holds settings, not a column

// ---- Style flags (JX_GRID_SETSTYLE, settings row field 0)
#define JX_GRID_LABEL_COLUMN 0x1      // column 0 is not editable; its row-property prefix stays in the text
#define JX_GRID_FIXED_ROWS 0x2        // rows cannot be added, deleted or moved by the user
#define JX_GRID_ROW_PROPERTIES 0x4    // column 0 may start with a row-property prefix "<...>"
#define JX_GRID_ROW_NUMBERS 0x8       // column 0 shows the row number
#define JX_GRID_READ_ONLY 0x10        // no in-place editing
#define JX_GRID_CHECK_BOXES 0x20      // rows have check boxes (LVS_EX_CHECKBOXES)
#define JX_GRID_EDIT_FOCUSED_ONLY 0x40
#define JX_GRID_ROW_DRAG 0x80
#define JX_GRID_TREE 0x100            // rows with a larger indent below a row belong to it

// Private extended-style bit of LVM_SETEXTENDEDLISTVIEWSTYLE: a click
// anywhere on a row toggles its check box.
#define JX_GRID_EX_CHECKBOX_CLICK 0x8000

// ---- Cell kinds (bits 0-2) and modifiers
#define JX_GRID_CELL_TEXT 0
#define JX_GRID_CELL_DROPDOWN 1
#define JX_GRID_CELL_CHECKBOX 2   // "Yes" in any case is checked
#define JX_GRID_CELL_DATE 3
#define JX_GRID_CELL_READONLY 7
#define JX_GRID_CELL_KIND_MASK 0x7
#define JX_GRID_CELL_MULTILINE 0x8  // text: multi-line editor; date: time
#define JX_GRID_CELL_BUTTON 0x10    // a small button at the cell's right edge

// Column flags
#define JX_GRID_COLUMN_FIXED_KIND 0x1  // rows cannot give the column's cells another kind

// ---- Flags of reading rows (JX_GRID_GETPACKED, JX_GRID_EXCHANGEROWS out, get flags)
#define JX_GRID_GET_NO_COLUMN0 0x1
#define JX_GRID_GET_NO_EMPTY_ROWS 0x2
#define JX_GRID_GET_SELECTED 0x4      // in check-box mode: the checked rows
#define JX_GRID_GET_STRIP_PREFIX 0x8
// Row-property prefix fields written into the first field of each row
#define JX_GRID_PREFIX_KIND 0x10000
#define JX_GRID_PREFIX_DATA 0x20000
#define JX_GRID_PREFIX_IMAGE 0x40000
#define JX_GRID_PREFIX_OVERLAY 0x80000
#define JX_GRID_PREFIX_STATE 0x100000
#define JX_GRID_PREFIX_INDENT 0x200000
#define JX_GRID_PREFIX_CELL_KINDS 0x400000
#define JX_GRID_PREFIX_ALL 0x7F0000

// ---- Flags of setting rows (JX_GRID_SETPACKED, JX_GRID_EXCHANGEROWS in, set flags)
#define JX_GRID_SET_COLUMN0_ONLY 0x1  // one field per row, into column 0
#define JX_GRID_SET_FROM_COLUMN1 0x2  // fields fill columns 1 on; rows keep column 0

// ---- Sort flags (JX_GRID_SORT), besides the comparison flags 1, 2, 4, 0x80
#define JX_GRID_SORT_DESCENDING 0x100
#define JX_GRID_SORT_TOGGLE 0x10000     // the reverse of the header's current arrow
#define JX_GRID_SORT_ARROW_ONLY 0x20000 // only show the arrow

// ---- Records

// lParam of JX_GRID_SETPACKED
typedef struct GridPackedFields {
    const char* fields;  // back-to-back NUL-terminated fields, one per column, row after row
    int length;          // bytes
} GridPackedFields;

// Forms of GridRowData::data
#define JX_GRID_DATA_PACKED 0
#define JX_GRID_DATA_TEXTS 1    // const char* array
#define JX_GRID_DATA_STRINGS 2  // JxString array
#define JX_GRID_DATA_FORM_MASK 0x3
// GridRowData flags besides the form
#define JX_GRID_ROW_REPLACE 0x4       // replace the row's fields instead of inserting a row
#define JX_GRID_ROW_APPLY_PREFIX 0x8  // a replaced row of a label-column grid applies its prefix

// lParam of JX_GRID_PUTROW
typedef struct GridRowData {
    const void* data;
    int firstColumn;
    int fieldCount;
    unsigned flags;
    const LVITEMW* properties;  // optional; image, item data, state and indent as LVM_SETITEM
} GridRowData;

// GridRowRead flags
#define JX_GRID_READ_REPORT_EMPTY 0x2
#define JX_GRID_READ_SELECTED_ONLY 0x4
// JX_GRID_READROW results besides a length
#define JX_GRID_READ_BAD_ARGUMENTS 0
#define JX_GRID_READ_NO_COLUMNS (-1)
#define JX_GRID_READ_EMPTY_ROW (-2)
#define JX_GRID_READ_NOT_SELECTED (-4)

// lParam of JX_GRID_READROW
typedef struct GridRowRead {
    const char* text;  // out: the row's field of the first column, valid until the row changes
    int firstColumn;
    int columnCount;
    unsigned flags;
    LVITEMW* properties;  // optional; column 0, LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT only
} GridRowRead;

// GridRowExchange directions
#define JX_GRID_EXCHANGE_OUT 0  // the grid hands its rows to the callback
#define JX_GRID_EXCHANGE_IN 1   // the grid takes its rows from the callback

struct GridRowExchange;
// Returns 0 to go on, nonzero to stop (the exchange then fails).
typedef int(__cdecl* GridRowCallback)(struct GridRowExchange* exchange);

// lParam of JX_GRID_EXCHANGEROWS. In: the caller sets rowCount and
// columnCount; for each rowIndex the callback points `fields` at that row's
// packed fields. Out: the grid sets every member but context, callback,
// direction and flags before each call.
typedef struct GridRowExchange {
    void* context;
    GridRowCallback callback;
    unsigned char direction;
    unsigned flags;  // JX_GRID_GET_* out, JX_GRID_SET_* in
    int rowCount;
    int columnCount;
    int rowIndex;
    int column;
    const char* fields;
} GridRowExchange;

// ---- Row commands: the row menu's ids, which an owner may also send or post
// as WM_COMMAND (wParam = the id, lParam = 0)
#define JX_GRID_CMD_CUT 6
#define JX_GRID_CMD_COPY 7
#define JX_GRID_CMD_PASTE_INSERT 8
#define JX_GRID_CMD_PASTE_REPLACE 9
#define JX_GRID_CMD_ADD_ROW 10
#define JX_GRID_CMD_INSERT_ROW 11
#define JX_GRID_CMD_DELETE_ROWS 12
#define JX_GRID_CMD_MOVE_UP 13
#define JX_GRID_CMD_MOVE_DOWN 14
#define JX_GRID_CMD_SELECT_ALL 15
#define JX_GRID_CMD_SELECT_NONE 16
#define JX_GRID_CMD_EDIT_SELECTED 17

// ---- Notifications (WM_NOTIFY to the parent). Besides these the grid sends
// LVN_BEGINLABELEDITA, LVN_ENDLABELEDITA (NMLVDISPINFOA, nonzero refuses),
// LVN_ITEMCHANGED, NM_CLICK and LVN_BEGINDRAG.
#define JX_GRID_CHANGED (-196)        // the content changed; reason below
#define JX_GRID_LIST_CHOSEN (-197)    // a dropdown list's item is committed; 0 puts its text in the editor
#define JX_GRID_LIST_OPENING (-198)   // a dropdown list is about to open; the owner fills it
#define JX_GRID_BUTTON_CLICKED (-199) // the cell button was clicked

// JX_GRID_CHANGED reasons
#define JX_GRID_REASON_ROW_ADDED 1
#define JX_GRID_REASON_CELL_STORED 2
#define JX_GRID_REASON_EDITOR_TEXT 3
#define JX_GRID_REASON_ROWS_DELETED 4
#define JX_GRID_REASON_ROWS_MOVED 5
#define JX_GRID_REASON_ROWS_CUT 6
#define JX_GRID_REASON_ROWS_PASTED 7
#define JX_GRID_REASON_ROWS_REPLACED 8

typedef struct GridNotify {
    NMHDR header;
    HWND editor;      // the open editor, or NULL
    HWND list;        // the dropdown list (JX_GRID_LIST_CHOSEN, JX_GRID_LIST_OPENING)
    unsigned kind;    // cell kind
    int row;          // -1 when none
    int column;       // -1 when none
    int index;        // the chosen item (JX_GRID_LIST_CHOSEN), else -1
    const char* text; // the cell's current text, or NULL
    int reason;       // JX_GRID_CHANGED reason, else 0
} GridNotify;

#if !defined(_WIN64)
static_assert(sizeof(GridRowExchange) == 36, "GridRowExchange is 36 bytes on x86");
static_assert(sizeof(GridNotify) == 44, "GridNotify is 44 bytes on x86");
#endif

#ifdef __cplusplus
}
#endif
